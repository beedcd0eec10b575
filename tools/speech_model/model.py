"""A small model of the Whisper architecture, computing exactly what whisper.cpp computes from its file."""

import math
from dataclasses import dataclass

import torch
import torch.nn.functional as F
from torch import nn

import corpus

END_OF_TEXT = 50256
START_OF_TRANSCRIPT = 50257
FIRST_TIMESTAMP = 50363
VOCABULARY_SIZE = 51864
FIRST_WORD_TOKEN = 256
SECONDS_PER_TIMESTAMP = 0.02


@dataclass
class Shape:
    audio_context: int = 250
    state: int = 192
    heads: int = 4
    audio_layers: int = 4
    text_context: int = 64
    text_layers: int = 3
    bands: int = 80

    @property
    def frames(self):
        return 2 * self.audio_context

    @property
    def timestamps(self):
        return self.audio_context + 1


def word_token(word: str) -> int:
    return FIRST_WORD_TOKEN + corpus.WORDS.index(word)


def used_tokens(shape: Shape):
    """The ids the model may write, in the order of its compact embedding table."""
    words = [word_token(word) for word in corpus.WORDS]
    timestamps = [FIRST_TIMESTAMP + step for step in range(shape.timestamps)]
    return words + [END_OF_TEXT, START_OF_TRANSCRIPT] + timestamps


def target_tokens(text: str, samples: int, sample_rate: int = 16000):
    end = FIRST_TIMESTAMP + round(samples / sample_rate / SECONDS_PER_TIMESTAMP)
    return ([START_OF_TRANSCRIPT, FIRST_TIMESTAMP] + [word_token(word) for word in text.split()]
            + [end, END_OF_TEXT])


def gelu(x):
    # ggml's GELU is the tanh approximation.
    return F.gelu(x, approximate="tanh")


def sinusoids(length: int, channels: int) -> torch.Tensor:
    increment = math.log(10000) / (channels // 2 - 1)
    inverse = torch.exp(-increment * torch.arange(channels // 2))
    scaled = torch.arange(length)[:, None] * inverse[None, :]
    return torch.cat([torch.sin(scaled), torch.cos(scaled)], dim=1)


class Attention(nn.Module):
    def __init__(self, state: int, heads: int):
        super().__init__()
        self.heads = heads
        self.query = nn.Linear(state, state)
        self.key = nn.Linear(state, state, bias=False)
        self.value = nn.Linear(state, state)
        self.out = nn.Linear(state, state)

    def forward(self, x, source=None, mask=None):
        source = x if source is None else source
        batch, length, state = x.shape
        head_size = state // self.heads
        scale = head_size ** -0.25
        q = self.query(x).view(batch, length, self.heads, head_size).permute(0, 2, 1, 3) * scale
        k = self.key(source).view(batch, -1, self.heads, head_size).permute(0, 2, 3, 1) * scale
        v = self.value(source).view(batch, -1, self.heads, head_size).permute(0, 2, 1, 3)
        weights = q @ k
        if mask is not None:
            weights = weights + mask
        mixed = weights.softmax(dim=-1) @ v
        return self.out(mixed.permute(0, 2, 1, 3).reshape(batch, length, state))


class Block(nn.Module):
    def __init__(self, state: int, heads: int, cross_attention: bool):
        super().__init__()
        self.attn_ln = nn.LayerNorm(state)
        self.attn = Attention(state, heads)
        self.cross_attn_ln = nn.LayerNorm(state) if cross_attention else None
        self.cross_attn = Attention(state, heads) if cross_attention else None
        self.mlp_ln = nn.LayerNorm(state)
        self.mlp = nn.Sequential(nn.Linear(state, 4 * state), nn.Identity(), nn.Linear(4 * state, state))

    def forward(self, x, audio=None, mask=None):
        x = x + self.attn(self.attn_ln(x), mask=mask)
        if self.cross_attn is not None:
            x = x + self.cross_attn(self.cross_attn_ln(x), audio)
        hidden = gelu(self.mlp[0](self.mlp_ln(x)))
        return x + self.mlp[2](hidden)


class Encoder(nn.Module):
    def __init__(self, shape: Shape):
        super().__init__()
        self.conv1 = nn.Conv1d(shape.bands, shape.state, 3, padding=1)
        self.conv2 = nn.Conv1d(shape.state, shape.state, 3, stride=2, padding=1)
        for conv in (self.conv1, self.conv2):
            nn.init.kaiming_normal_(conv.weight, nonlinearity="relu")
            nn.init.zeros_(conv.bias)
        # Most of a window is silence, one constant frame after another. Filters that sum to zero answer
        # it with nothing, so speech stands out from the start instead of drowning in one large
        # constant that every layer after the convolutions would carry.
        with torch.no_grad():
            self.conv1.weight -= self.conv1.weight.mean(dim=(1, 2), keepdim=True)
        self.register_buffer("positional_embedding", sinusoids(shape.audio_context, shape.state))
        self.blocks = nn.ModuleList(Block(shape.state, shape.heads, False) for _ in range(shape.audio_layers))
        self.ln_post = nn.LayerNorm(shape.state)

    def forward(self, mel):
        x = gelu(self.conv1(mel))
        x = gelu(self.conv2(x)).permute(0, 2, 1)
        x = x + self.positional_embedding
        for block in self.blocks:
            x = block(x)
        return self.ln_post(x)


class Decoder(nn.Module):
    """The token embedding holds only the ids the model may write; the export spreads it over the whole
    vocabulary. The final norm pins one channel to 1, so that channel of each embedding row is that
    token's logit bias: the export gives every other id a bias far below any used one."""

    def __init__(self, shape: Shape, used: int):
        super().__init__()
        self.token_embedding = nn.Embedding(used, shape.state)
        nn.init.normal_(self.token_embedding.weight, std=0.02)
        self.positional_embedding = nn.Parameter(torch.randn(shape.text_context, shape.state) * 0.01)
        self.blocks = nn.ModuleList(Block(shape.state, shape.heads, True) for _ in range(shape.text_layers))
        self.ln = nn.LayerNorm(shape.state)
        pinned = torch.zeros(shape.state, dtype=torch.bool)
        pinned[-1] = True
        self.register_buffer("pinned", pinned)
        mask = torch.full((shape.text_context, shape.text_context), float("-inf")).triu(1)
        self.register_buffer("mask", mask)

    def final_norm(self):
        weight = self.ln.weight.masked_fill(self.pinned, 0.0)
        bias = self.ln.bias.masked_fill(self.pinned, 1.0)
        return weight, bias

    def forward(self, tokens, audio):
        length = tokens.shape[1]
        x = self.token_embedding(tokens) + self.positional_embedding[:length]
        for block in self.blocks:
            x = block(x, audio, self.mask[:length, :length])
        weight, bias = self.final_norm()
        x = F.layer_norm(x, (x.shape[-1],), weight, bias)
        return x @ self.token_embedding.weight.T


class SpeechModel(nn.Module):
    def __init__(self, shape: Shape):
        super().__init__()
        self.shape = shape
        self.used = used_tokens(shape)
        self.encoder = Encoder(shape)
        self.decoder = Decoder(shape, len(self.used))
        # Helps the encoder learn to hear early on: it spells out the phonemes of what was said. Each
        # phoneme occurs in many words, so it learns from every clip, where a word is heard only now and
        # then. Not part of the exported model.
        self.ctc = nn.Linear(shape.state, len(corpus.phoneme_table()) + 1)
        # Most frames are blank: starting there keeps the helper's first, large gradients from pushing
        # the encoder towards saying the same thing everywhere.
        with torch.no_grad():
            self.ctc.bias[0] = 5.0

    def forward(self, mel, compact_tokens):
        audio = self.encoder(mel)
        return self.decoder(compact_tokens, audio), audio
