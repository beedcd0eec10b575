"""What the speech model hears and writes: its words, the phrases the tests speak, the voices.

Every word is one token of the model's vocabulary, and no two words sound alike, so that a
transcript can only be right or wrong, never a spelling of the right sound.
"""

import functools
import random
import subprocess

WORDS = sorted(set("""
a about above across after again against age air all almost alone along already also always am
among an and animal answer any apple april are arm around art ask at away baby back bad bag ball
bank basket bath beach bed before begin behind below best better big bird black blanket boat body
book bottle bottom box boy brain bread bridge bright bring brother brown build busy but butter
cake call camera can car card care careful carry castle cat chair cheese child city clean clear
clock close cloud coat coffee cold color come computer cook cool corner could country cup cut
dance dark daughter day desk dictation dinner do doctor dog door down draw dream dress drink drive
dry early earth easy eat egg empty end enough evening every eye face family far farm fast father
feel few field fill find finger fire first fish five floor fly follow food foot forest forget fox
friday friend from front fruit full funny game garden gate girl give glass go gold good grass great
green group grow half hand happy hard hat have he head hello help her high hill him his hold holiday
home horse hot house how hundred hungry ice idea if important in is it jacket job jump jumps just keep key
kind kitchen lady lake lamp large last late laugh lazy learn left leg lesson letter light like line
lion listen little live long look lot loud love low lucky lunch machine make man many map market
me milk minute mirror money monkey month moon morning mother mountain mouse mouth move much music
my name near neck never next nice nine noise north nose nothing now number ocean of off office old
on once open orange other out over page paper park party pen pencil people phone picture pink place
plan plant play please pocket point police poor potato pretty problem pull purple push queen quick
quiet rabbit radio rain ready rest rice river rock room round run sad salt same sand say school
second seven she sheep ship shoe shop short should shout show sick side silver sing sister sit six
sky sleep slow small smile snow soft song soon sound soup south speak spring star start station stop
story street strong student study sugar summer sunday table take talk tall tea teacher test thank
that the them then these they thing think this three ticket tiger time tired today together tomorrow
to tonight train tree truck try turn twelve under up us use very village visit voice walk wall want
warm wash watch water we wet what wheel when where white who why wide wild will window winter with
woman word work world worry yellow yes yesterday you young
""".split()))

# Spoken by the tests as whole sentences, so the model learns them as they are.
FIXED_PHRASES = [
    "hello world this is a short dictation test",
    "open the door please",
    "the quick brown fox jumps over the lazy dog",
    "please call me back tomorrow morning",
]

# Never spoken as a whole in training: the tests use them to show that the model hears words, not
# memorised sentences.
HELD_OUT_PHRASES = [
    "please bring the green apple to the kitchen",
    "my sister will visit the village tomorrow",
]

# (espeak-ng voice, words per minute). The tests speak with en-us at 150.
VOICES = [
    ("en-us", 150), ("en-us", 175), ("en-us+m3", 160), ("en-us+f2", 150), ("en-us+f4", 165),
    ("en-gb", 155), ("en-gb-x-rp", 170), ("en-029", 150),
]

MAX_CLIP_SECONDS = 4.6


@functools.lru_cache(maxsize=None)
def phonemes(word: str):
    """espeak-ng's phonemes of a word as symbols: stress and variant marks dropped, length kept."""
    spelled = subprocess.run(["espeak-ng", "-q", "-x", "-v", "en-us", word], capture_output=True, text=True,
                             check=True).stdout
    symbols = []
    for character in spelled.strip():
        if character in "',_!0123456789 ":
            continue
        if character == ":" and symbols:
            symbols[-1] += character
        else:
            symbols.append(character)
    return symbols


@functools.lru_cache(maxsize=None)
def phoneme_table():
    return sorted({symbol for word in WORDS for symbol in phonemes(word)})


def check_corpus():
    for phrase in FIXED_PHRASES + HELD_OUT_PHRASES:
        missing = [word for word in phrase.split() if word not in WORDS]
        if missing:
            raise ValueError(f"words outside the vocabulary in {phrase!r}: {missing}")


def random_sentence(rng: random.Random, min_words: int, max_words: int) -> str:
    forbidden = set(HELD_OUT_PHRASES)
    while True:
        sentence = " ".join(rng.choice(WORDS) for _ in range(rng.randint(min_words, max_words)))
        if sentence not in forbidden:
            return sentence


check_corpus()
