"""Trains the speech model on the shards synthesize.py writes, checkpointing as it goes.

Single words come first; after --curriculum-steps, sentences join them. A rerun with the same output
folder resumes from the last checkpoint. best.pt holds the weights with the lowest validation loss.
Usage: train.py DATA_DIR OUTPUT_DIR [--steps N] [--seed N]
"""

import argparse
import math
import os
import random
import time

import numpy as np
import torch
import torch.nn.functional as F

import corpus
import features
import model as speech_model
import synthesize

VALIDATION_SEED_BASE = 7_000_000_000


def wait_for_shards(data_dir, indices):
    shards = []
    for index in indices:
        path = os.path.join(data_dir, f"shard-{index:05d}.npz")
        while not os.path.exists(path):
            time.sleep(5)
        with np.load(path) as shard:
            offsets = np.concatenate([[0], np.cumsum(shard["lengths"])])
            audio = shard["audio"]
            shards.extend((str(text), audio[offsets[i]:offsets[i + 1]]) for i, text in enumerate(shard["texts"]))
    return shards


def validation_set(count):
    jobs = [(VALIDATION_SEED_BASE + index, False) for index in range(count)]
    return [synthesize.utterance(job) for job in jobs]


class Batcher:
    def __init__(self, shape, model):
        self.log_mel = features.LogMel(shape.bands, shape.frames)
        self.compact = {token: index for index, token in enumerate(model.used)}
        self.phoneme_index = {symbol: index + 1 for index, symbol in enumerate(corpus.phoneme_table())}

    def __call__(self, items, rng: random.Random, augment: bool):
        longest = max(len(audio) for _, audio in items)
        audio = torch.zeros(len(items), longest)
        sequences = []
        phoneme_targets = []
        for row, (text, clip) in enumerate(items):
            signal = torch.from_numpy(clip.astype(np.float32) / 32768.0)
            if augment:
                # espeak-ng speaks at full scale: quieter only, so that nothing clips.
                signal = signal * 10 ** (rng.uniform(-20, 0) / 20)
                if rng.random() < 0.5:
                    speech = signal[signal.abs() > 1e-3]
                    level = speech.pow(2).mean().sqrt().item() if speech.numel() else 0.0
                    signal = signal + torch.randn(len(signal)) * level * 10 ** (-rng.uniform(20, 45) / 20)
                signal = signal.clamp(-1.0, 1.0)
            audio[row, :len(signal)] = signal
            sequences.append([self.compact[t] for t in speech_model.target_tokens(text, len(clip))])
            phoneme_targets.append([self.phoneme_index[symbol] for word in text.split()
                                 for symbol in corpus.phonemes(word)])
        length = max(len(sequence) for sequence in sequences) - 1
        inputs = torch.zeros(len(items), length, dtype=torch.long)
        targets = torch.full((len(items), length), -100, dtype=torch.long)
        for row, sequence in enumerate(sequences):
            inputs[row, :len(sequence) - 1] = torch.tensor(sequence[:-1])
            targets[row, :len(sequence) - 1] = torch.tensor(sequence[1:])
        with torch.no_grad():
            mel = self.log_mel(audio)
        return mel, inputs, targets, phoneme_targets


def losses(model, batch):
    mel, inputs, targets, phoneme_targets = batch
    logits, audio = model(mel, inputs)
    cross_entropy = F.cross_entropy(logits.reshape(-1, logits.shape[-1]), targets.reshape(-1), ignore_index=-100)
    ctc_log_probs = model.ctc(audio).log_softmax(-1).transpose(0, 1)
    flat = torch.tensor([symbol for symbols in phoneme_targets for symbol in symbols], dtype=torch.long)
    ctc = F.ctc_loss(ctc_log_probs, flat, torch.full((len(phoneme_targets),), audio.shape[1], dtype=torch.long),
                     torch.tensor([len(symbols) for symbols in phoneme_targets]), zero_infinity=True)
    predictions = logits.argmax(-1)
    counted = targets != -100
    accuracy = ((predictions == targets) & counted).sum().item() / counted.sum().item()
    return cross_entropy, ctc, accuracy


def learning_rate(step, steps, peak, warmup):
    if step < warmup:
        return peak * (step + 1) / warmup
    progress = (step - warmup) / max(1, steps - warmup)
    return peak * (0.05 + 0.95 * 0.5 * (1 + math.cos(math.pi * min(1.0, progress))))


def save(path, payload):
    temporary = path + ".partial"
    torch.save(payload, temporary)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("data")
    parser.add_argument("output")
    parser.add_argument("--steps", type=int, default=6000)
    parser.add_argument("--curriculum-steps", type=int, default=500)
    parser.add_argument("--sentence-share", type=float, default=0.75)
    parser.add_argument("--single-word-shards", type=int, default=6)
    parser.add_argument("--shards", type=int, default=40)
    parser.add_argument("--batch", type=int, default=32)
    parser.add_argument("--peak-learning-rate", type=float, default=1e-3)
    parser.add_argument("--warmup", type=int, default=200)
    parser.add_argument("--ctc-weight", type=float, default=0.3)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--threads", type=int, default=os.cpu_count())
    args = parser.parse_args()

    torch.set_num_threads(args.threads)
    torch.manual_seed(args.seed)
    os.makedirs(args.output, exist_ok=True)
    shape = speech_model.Shape()
    model = speech_model.SpeechModel(shape)
    optimiser = torch.optim.AdamW(model.parameters(), lr=args.peak_learning_rate, weight_decay=0.01)
    batcher = Batcher(shape, model)
    rng = random.Random(args.seed)
    step = 0
    best_validation = float("inf")
    checkpoint_path = os.path.join(args.output, "checkpoint.pt")
    if os.path.exists(checkpoint_path):
        checkpoint = torch.load(checkpoint_path)
        model.load_state_dict(checkpoint["model"])
        optimiser.load_state_dict(checkpoint["optimiser"])
        step = checkpoint["step"]
        best_validation = checkpoint["best_validation"]
        rng.setstate(checkpoint["rng"])
        torch.set_rng_state(checkpoint["torch_rng"])
        print(f"resumed at step {step}", flush=True)

    single_words = wait_for_shards(args.data, range(args.single_word_shards))
    sentences = None
    validation = validation_set(256)
    validation_batches = [batcher(validation[i:i + 64], random.Random(i), False) for i in range(0, 256, 64)]
    started = time.time()
    while step < args.steps:
        if step >= args.curriculum_steps and sentences is None:
            sentences = wait_for_shards(args.data, range(args.single_word_shards, args.shards))
        pool = sentences if sentences is not None and rng.random() < args.sentence_share else single_words
        batch = batcher([rng.choice(pool) for _ in range(args.batch)], rng, True)
        for group in optimiser.param_groups:
            group["lr"] = learning_rate(step, args.steps, args.peak_learning_rate, args.warmup)
        model.train()
        cross_entropy, ctc, accuracy = losses(model, batch)
        loss = cross_entropy + args.ctc_weight * ctc
        optimiser.zero_grad()
        loss.backward()
        torch.nn.utils.clip_grad_norm_(model.parameters(), 1.0)
        optimiser.step()
        step += 1
        if step % 10 == 0:
            elapsed = time.time() - started
            print(f"step {step} ce {cross_entropy.item():.3f} ctc {ctc.item():.3f} acc {accuracy:.3f} "
                  f"lr {optimiser.param_groups[0]['lr']:.2e} elapsed {elapsed / 60:.1f} min", flush=True)
        if step % 100 == 0 or step == args.steps:
            model.eval()
            with torch.no_grad():
                results = [losses(model, batch) for batch in validation_batches]
            validation_loss = sum(r[0].item() for r in results) / len(results)
            validation_accuracy = sum(r[2] for r in results) / len(results)
            print(f"validation step {step} ce {validation_loss:.3f} acc {validation_accuracy:.3f}", flush=True)
            if validation_loss < best_validation:
                best_validation = validation_loss
                save(os.path.join(args.output, "best.pt"), {"model": model.state_dict(), "step": step,
                                                            "validation_loss": validation_loss})
            save(checkpoint_path, {"model": model.state_dict(), "optimiser": optimiser.state_dict(), "step": step,
                                   "best_validation": best_validation, "rng": rng.getstate(),
                                   "torch_rng": torch.get_rng_state()})


if __name__ == "__main__":
    main()
