"""Speaks the training corpus with espeak-ng into shards of 16 kHz audio.

Shards are written one after another (shard-00000.npz, ...), so training can begin on the first ones
while later ones are still being spoken. The first shards hold single words, the rest sentences.
Usage: synthesize.py OUTPUT_DIR [--single-word-shards N] [--shards N] [--seed N]
"""

import argparse
import multiprocessing
import os
import random
import subprocess

import numpy as np

import corpus

SAMPLE_RATE = 16000
SHARD_SIZE = 1000


def speak(text: str, voice: str, words_per_minute: int, pitch: int) -> np.ndarray:
    espeak = subprocess.Popen(
        ["espeak-ng", "-v", voice, "-s", str(words_per_minute), "-p", str(pitch), "--stdout", text],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    converted = subprocess.run(
        ["sox", "-t", "wav", "-", "-t", "raw", "-r", str(SAMPLE_RATE), "-e", "signed", "-b", "16",
         "-c", "1", "-"],
        stdin=espeak.stdout, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    espeak.stdout.close()
    espeak.wait()
    return np.frombuffer(converted.stdout, dtype=np.int16)


def choose_voice(rng: random.Random):
    voice, words_per_minute = rng.choice(corpus.VOICES)
    if rng.random() < 0.5:
        return voice, words_per_minute, 50
    return voice, words_per_minute + rng.randint(-15, 15), rng.randint(30, 70)


def with_silence(rng: random.Random, audio: np.ndarray) -> np.ndarray:
    budget = int(corpus.MAX_CLIP_SECONDS * SAMPLE_RATE) - len(audio)
    lead = rng.randint(0, max(0, min(budget, SAMPLE_RATE // 2)))
    trail = rng.randint(0, max(0, min(budget - lead, SAMPLE_RATE // 2)))
    return np.concatenate([np.zeros(lead, np.int16), audio, np.zeros(trail, np.int16)])


def utterance(job):
    seed, single_word = job
    rng = random.Random(seed)
    for _ in range(20):
        if single_word:
            text = rng.choice(corpus.WORDS)
        elif rng.random() < 0.08:
            text = rng.choice(corpus.FIXED_PHRASES)
        else:
            text = corpus.random_sentence(rng, 1, 8)
        audio = speak(text, *choose_voice(rng))
        # espeak-ng leaves about 0.1-0.3 s of silence at the end already.
        if 0 < len(audio) <= corpus.MAX_CLIP_SECONDS * SAMPLE_RATE:
            return text, with_silence(rng, audio)
    raise RuntimeError(f"no clip short enough for seed {seed}")


def write_shard(path: str, items):
    texts = [text for text, _ in items]
    lengths = np.array([len(audio) for _, audio in items], dtype=np.int64)
    audio = np.concatenate([audio for _, audio in items])
    temporary = path + ".partial.npz"
    np.savez(temporary, audio=audio, lengths=lengths, texts=np.array(texts))
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--single-word-shards", type=int, default=6)
    parser.add_argument("--shards", type=int, default=80)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--workers", type=int, default=os.cpu_count())
    args = parser.parse_args()
    os.makedirs(args.output, exist_ok=True)

    with multiprocessing.Pool(args.workers) as pool:
        for shard in range(args.shards):
            path = os.path.join(args.output, f"shard-{shard:05d}.npz")
            if os.path.exists(path):
                continue
            jobs = [((args.seed * 1_000_003 + shard) * SHARD_SIZE + index, shard < args.single_word_shards)
                    for index in range(SHARD_SIZE)]
            write_shard(path, pool.map(utterance, jobs, chunksize=25))
            print(f"wrote {path}", flush=True)


if __name__ == "__main__":
    main()
