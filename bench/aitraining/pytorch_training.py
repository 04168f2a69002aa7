"""Reference for AITrainingBench: the same feed-forward network, loss, data and optimiser as the AI
library's trainer (scaled inputs and outputs, tanh layers, full-batch Adam, float64), in PyTorch.

Usage: pytorch_training.py CASES ITERATIONS LEARNING_RATE [TARGET_RMS]
Trains for ITERATIONS iterations, or with TARGET_RMS until the RMS error reaches it (at most
ITERATIONS), and prints the seconds spent in the training iterations alone (imports and data set-up
excluded), the iterations done and the last RMS error.
"""
import math
import sys
import time

import torch


def data(cases):
    # A Kronecker sequence, so that the C++ side computes the very same cases.
    alphas = torch.tensor([math.sqrt(p) % 1.0 for p in (2, 3, 5, 7, 11, 13)], dtype=torch.float64)
    steps = torch.arange(1, cases + 1, dtype=torch.float64)[:, None]
    x = 2.0 * torch.frac(steps * alphas) - 1.0
    y = torch.stack([torch.sin(x[:, 0] + x[:, 1]), x[:, 2] * x[:, 3], torch.tanh(x[:, 4] - x[:, 5])], dim=1)
    return x, y


def main():
    cases, iterations, rate = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    target = float(sys.argv[4]) if len(sys.argv) > 4 else 0.0
    torch.manual_seed(1)
    torch.set_default_dtype(torch.float64)
    x, y = data(cases)
    x_offset, x_scale = x.mean(0), x.std(0, unbiased=False)
    y_offset, y_scale = y.mean(0), y.std(0, unbiased=False)
    network = torch.nn.Sequential(
        torch.nn.Linear(6, 32), torch.nn.Tanh(), torch.nn.Linear(32, 32), torch.nn.Tanh(), torch.nn.Linear(32, 3))
    optimiser = torch.optim.Adam(network.parameters(), lr=rate)
    weights = torch.ones(3)
    done = 0
    rms = float("inf")
    start = time.perf_counter()
    while done < iterations:
        predicted = network((x - x_offset) / x_scale) * y_scale + y_offset
        loss = ((((predicted - y) / y_scale) ** 2).mean(0) * weights).sum() / weights.sum()
        rms = loss.item() ** 0.5  # the library reads the error every iteration too
        if rms <= target:
            break
        optimiser.zero_grad()
        loss.backward()
        optimiser.step()
        done += 1
    print(time.perf_counter() - start, done, rms)


if __name__ == "__main__":
    main()
