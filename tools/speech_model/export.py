"""Writes a trained checkpoint as the compact parameter file the model generator expands
(murmelo-generate-model --parameters), packed as a reproducible .tar.xz.
Usage: export.py CHECKPOINT ARCHIVE
"""

import argparse
import io
import struct
import tarfile

import numpy as np
import torch

import corpus
import model as speech_model

MAGIC = 0x6d70736d
VERSION = 1
PARAMETERS_NAME = "speech-model.params"
# Logit of every token the model never writes: far below any it does.
UNUSED_TOKEN_BIAS = -1000.0


def tensor_record(name: str, tensor: torch.Tensor, half: bool, dimensions=None) -> bytes:
    array = tensor.detach().to(torch.float32).contiguous().numpy()
    dimensions = list(reversed(array.shape)) if dimensions is None else dimensions
    encoded = name.encode()
    header = struct.pack(f"<iii{len(dimensions)}i", len(dimensions), len(encoded), 1 if half else 0, *dimensions)
    data = array.astype(np.float16 if half else np.float32).tobytes()
    return header + encoded + data


def tensors(model: speech_model.SpeechModel):
    state = model.state_dict()
    weight, bias = model.decoder.final_norm()
    for name, tensor in state.items():
        if name.startswith("ctc.") or name in ("decoder.mask", "decoder.pinned"):
            continue
        if name == "decoder.ln.weight":
            tensor = weight
        elif name == "decoder.ln.bias":
            tensor = bias
        if name.startswith("encoder.conv") and name.endswith(".bias"):
            yield tensor_record(name, tensor, False, [1, tensor.shape[0]])
        elif name.endswith("positional_embedding") or tensor.dim() == 1:
            yield tensor_record(name, tensor, False)
        else:
            yield tensor_record(name, tensor, True)


def parameters(model: speech_model.SpeechModel) -> bytes:
    shape = model.shape
    out = io.BytesIO()
    out.write(struct.pack("<II", MAGIC, VERSION))
    out.write(struct.pack("<11i", speech_model.VOCABULARY_SIZE, shape.audio_context, shape.state, shape.heads,
                          shape.audio_layers, shape.text_context, shape.state, shape.heads, shape.text_layers,
                          shape.bands, 1))
    out.write(struct.pack("<i", len(corpus.WORDS)))
    for word in corpus.WORDS:
        text = (" " + word).encode()
        out.write(struct.pack("<iI", speech_model.word_token(word), len(text)) + text)
    out.write(struct.pack("<i", len(model.used)))
    out.write(struct.pack(f"<{len(model.used)}i", *model.used))
    pinned = int(model.decoder.pinned.nonzero()[0])
    out.write(struct.pack("<if", pinned, UNUSED_TOKEN_BIAS))
    for record in tensors(model):
        out.write(record)
    return out.getvalue()


def load(checkpoint_path: str) -> speech_model.SpeechModel:
    model = speech_model.SpeechModel(speech_model.Shape())
    model.load_state_dict(torch.load(checkpoint_path)["model"])
    model.eval()
    return model


def write_archive(data: bytes, archive_path: str):
    info = tarfile.TarInfo(PARAMETERS_NAME)
    info.size = len(data)
    info.mtime = 0
    info.mode = 0o644
    with tarfile.open(archive_path, "w:xz", preset=9, format=tarfile.USTAR_FORMAT) as archive:
        archive.addfile(info, io.BytesIO(data))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("checkpoint")
    parser.add_argument("archive")
    args = parser.parse_args()
    write_archive(parameters(load(args.checkpoint)), args.archive)


if __name__ == "__main__":
    main()
