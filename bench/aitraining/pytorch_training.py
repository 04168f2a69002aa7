"""Reference for AITrainingBench: the same feed-forward network, loss and optimiser as the AI
library's trainer (scaled inputs and outputs, tanh layers, full-batch Adam), in PyTorch.

Usage: pytorch_training.py CASES ITERATIONS
Prints the seconds spent in the training iterations alone (imports and data set-up excluded).
"""
import sys
import time

import torch


def main():
    cases, iterations = int(sys.argv[1]), int(sys.argv[2])
    torch.manual_seed(1)
    x = torch.rand(cases, 6) * 2.0 - 1.0
    y = torch.stack([torch.sin(x[:, 0] + x[:, 1]), x[:, 2] * x[:, 3], torch.tanh(x[:, 4] - x[:, 5])], dim=1)
    x_offset, x_scale = x.mean(0), x.std(0, unbiased=False)
    y_offset, y_scale = y.mean(0), y.std(0, unbiased=False)
    network = torch.nn.Sequential(
        torch.nn.Linear(6, 32), torch.nn.Tanh(), torch.nn.Linear(32, 32), torch.nn.Tanh(), torch.nn.Linear(32, 3))
    optimiser = torch.optim.Adam(network.parameters(), lr=0.001)
    weights = torch.ones(3)
    start = time.perf_counter()
    for _ in range(iterations):
        predicted = network((x - x_offset) / x_scale) * y_scale + y_offset
        loss = ((((predicted - y) / y_scale) ** 2).mean(0) * weights).sum() / weights.sum()
        rms = loss.item() ** 0.5  # the library reads the error every iteration too
        optimiser.zero_grad()
        loss.backward()
        optimiser.step()
    print(time.perf_counter() - start, rms)


if __name__ == "__main__":
    main()
