"""Log-mel features computed the way whisper.cpp computes them, so the model trains on what it will hear."""

import numpy as np
import torch

SAMPLE_RATE = 16000
FFT_SIZE = 400
HOP = 160
FREQUENCY_BINS = FFT_SIZE // 2 + 1


def hertz_to_mel(hertz):
    linear_hertz_per_mel = 200.0 / 3.0
    log_step = np.log(6.4) / 27.0
    hertz = np.asarray(hertz, dtype=np.float64)
    return np.where(hertz < 1000.0, hertz / linear_hertz_per_mel,
                    1000.0 / linear_hertz_per_mel + np.log(np.maximum(hertz, 1e-9) / 1000.0) / log_step)


def mel_to_hertz(mel):
    linear_hertz_per_mel = 200.0 / 3.0
    log_step = np.log(6.4) / 27.0
    mel = np.asarray(mel, dtype=np.float64)
    start = 1000.0 / linear_hertz_per_mel
    return np.where(mel < start, mel * linear_hertz_per_mel, 1000.0 * np.exp(log_step * (mel - start)))


def mel_filters(bands: int) -> np.ndarray:
    """The filterbank the model file carries (the model generator writes the same one): [bands, 201]."""
    nyquist = SAMPLE_RATE / 2.0
    edges = mel_to_hertz(hertz_to_mel(nyquist) * np.arange(bands + 2) / (bands + 1))
    frequencies = nyquist * np.arange(FREQUENCY_BINS) / (FREQUENCY_BINS - 1)
    lower, centre, upper = edges[:-2, None], edges[1:-1, None], edges[2:, None]
    rising = (frequencies[None, :] - lower) / (centre - lower)
    falling = (upper - frequencies[None, :]) / (upper - centre)
    weights = np.maximum(0.0, np.minimum(rising, falling)) * (2.0 / (upper - lower))
    return weights.astype(np.float32)


class LogMel(torch.nn.Module):
    """[batch, samples] at 16 kHz, silent after each clip's end -> [batch, bands, frames]."""

    def __init__(self, bands: int, frames: int):
        super().__init__()
        self.frames = frames
        self.register_buffer("window", torch.hann_window(FFT_SIZE, periodic=True))
        self.register_buffer("filters", torch.from_numpy(mel_filters(bands)))

    def forward(self, audio: torch.Tensor) -> torch.Tensor:
        padding = FFT_SIZE // 2
        needed = (self.frames - 1) * HOP + FFT_SIZE
        reflected = audio[:, 1:padding + 1].flip(1)
        padded = torch.cat([reflected, audio], dim=1)
        if padded.shape[1] < needed:
            padded = torch.nn.functional.pad(padded, (0, needed - padded.shape[1]))
        frames = padded[:, :needed].unfold(1, FFT_SIZE, HOP) * self.window
        power = torch.fft.rfft(frames, n=FFT_SIZE).abs().pow(2)
        mel = torch.log10(torch.clamp(power @ self.filters.T, min=1e-10))
        ceiling = mel.amax(dim=(1, 2), keepdim=True)
        mel = torch.maximum(mel, ceiling - 8.0)
        return ((mel + 4.0) / 4.0).transpose(1, 2)
