"""Measures the speech model through whisper.cpp, the way the application transcribes.

Speaks held-out random sentences (never in the training shards) and the fixed phrases with the training
voices, transcribes them with murmelo-transcribe and prints figures as "key: value" lines, among them
word_error_rate. --round-trip also measures the same audio as 48 kHz stereo files.
Usage: evaluate.py --model MODEL --transcriber murmelo-transcribe [--data DATA_DIR] [--sentences N]
"""

import argparse
import glob
import os
import random
import re
import subprocess
import tempfile
import time
import wave

import numpy as np

import corpus
import synthesize

EVALUATION_SEED = 99


def normalised(text: str):
    return re.sub(r"[^a-z' ]", " ", text.lower()).split()


def edit_distance(reference, hypothesis):
    previous = list(range(len(hypothesis) + 1))
    for i, word in enumerate(reference, 1):
        current = [i]
        for j, heard in enumerate(hypothesis, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (word != heard)))
        previous = current
    return previous[-1]


def training_texts(data_dir):
    texts = set()
    for path in glob.glob(os.path.join(data_dir, "shard-*.npz")):
        with np.load(path) as shard:
            texts.update(str(text) for text in shard["texts"])
    return texts


def held_out_sentences(count, seen):
    rng = random.Random(EVALUATION_SEED)
    sentences = []
    while len(sentences) < count:
        sentence = corpus.random_sentence(rng, 2, 8)
        if sentence not in seen and sentence not in sentences:
            sentences.append(sentence)
    return sentences


def write_wav(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(synthesize.SAMPLE_RATE)
        out.writeframes(samples.astype(np.int16).tobytes())


def transcribe(transcriber, model, files):
    output = subprocess.run([transcriber, "--model", model, *files], check=True, capture_output=True, text=True)
    transcripts = {}
    for line in output.stdout.splitlines():
        if line.startswith("transcript\t"):
            _, file, text = line.split("\t", 2)
            transcripts[file] = text
    return [transcripts[file] for file in files]


def measure(items, transcriber, model):
    started = time.time()
    heard = transcribe(transcriber, model, [path for _, path in items])
    seconds = time.time() - started
    errors = sum(edit_distance(normalised(text), normalised(result)) for (text, _), result in zip(items, heard))
    words = sum(len(text.split()) for text, _ in items)
    exact = sum(normalised(text) == normalised(result) for (text, _), result in zip(items, heard))
    return {"errors": errors, "words": words, "exact": exact, "count": len(items), "seconds": seconds,
            "heard": heard}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--model", required=True)
    parser.add_argument("--transcriber", required=True)
    parser.add_argument("--data", help="the training shards, to keep their sentences out")
    parser.add_argument("--sentences", type=int, default=200)
    parser.add_argument("--round-trip", action="store_true")
    parser.add_argument("--show-errors", action="store_true")
    args = parser.parse_args()

    seen = training_texts(args.data) if args.data else set()
    sentences = held_out_sentences(args.sentences, seen)
    with tempfile.TemporaryDirectory() as folder:
        held_out, fixed = [], []
        for index, sentence in enumerate(sentences):
            voice, words_per_minute = corpus.VOICES[index % len(corpus.VOICES)]
            path = os.path.join(folder, f"sentence-{index:04d}.wav")
            write_wav(path, synthesize.speak(sentence, voice, words_per_minute, 50))
            held_out.append((sentence, path))
        for index, (phrase, (voice, words_per_minute)) in enumerate(
                (phrase, voice) for phrase in corpus.FIXED_PHRASES + corpus.HELD_OUT_PHRASES
                for voice in corpus.VOICES):
            path = os.path.join(folder, f"phrase-{index:04d}.wav")
            write_wav(path, synthesize.speak(phrase, voice, words_per_minute, 50))
            fixed.append((phrase, path))

        results = {"held_out": measure(held_out, args.transcriber, args.model),
                   "phrases": measure(fixed, args.transcriber, args.model)}
        if args.round_trip:
            stereo = []
            for text, path in held_out:
                converted = path.replace(".wav", "-48k-stereo.wav")
                subprocess.run(["sox", path, "-r", "48000", "-c", "2", converted], check=True)
                stereo.append((text, converted))
            results["round_trip"] = measure(stereo, args.transcriber, args.model)

    held = results["held_out"]
    phrases = results["phrases"]
    print(f"sentences: {held['count']}")
    print(f"word_error_rate: {held['errors'] / held['words']:.4f}")
    print(f"sentences_exact: {held['exact']}/{held['count']}")
    print(f"phrases_exact: {phrases['exact']}/{phrases['count']}")
    print(f"phrase_word_error_rate: {phrases['errors'] / phrases['words']:.4f}")
    if "round_trip" in results:
        trip = results["round_trip"]
        print(f"word_error_rate_48k_stereo: {trip['errors'] / trip['words']:.4f}")
    print(f"seconds_per_utterance: {held['seconds'] / held['count']:.3f}")
    if args.show_errors:
        for (text, _), result in zip(held_out + fixed, held["heard"] + phrases["heard"]):
            if normalised(text) != normalised(result):
                print(f"  said {text!r} heard {result!r}")


if __name__ == "__main__":
    main()
