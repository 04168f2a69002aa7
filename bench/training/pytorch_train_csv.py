"""Reference for TrainCommandBench: the network, loss and optimiser of `confluxtool train` (inputs
and outputs scaled by the training data's mean and standard deviation, tanh hidden layers, full-batch
Adam on the weighted mean squared scaled error, float64) in PyTorch, on the same CSV file.

Usage: pytorch_train_csv.py CSV ITERATIONS TARGET_RMS WEIGHT,WEIGHT,... HIDDEN,HIDDEN,...
Prints the seconds spent in the training iterations alone (reading and set-up excluded), the RMS error
reached and the iterations done; it stops early once the RMS error is at most TARGET_RMS.
"""
import csv
import sys
import time

import torch


def main():
    path, iterations, target = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    weights = torch.tensor([float(w) for w in sys.argv[4].split(",")], dtype=torch.float64)
    hidden = [int(h) for h in sys.argv[5].split(",")]
    with open(path, newline="", encoding="utf-8") as file:
        rows = list(csv.reader(file))
    header, values = rows[0], torch.tensor([[float(v) for v in row] for row in rows[1:] if row], dtype=torch.float64)
    inputs = [i for i, h in enumerate(header) if h.startswith("Input:")]
    targets = [i for i, h in enumerate(header) if h.startswith("Target:")]
    x, y = values[:, inputs], values[:, targets]
    torch.manual_seed(1)
    x_offset, x_scale = x.mean(0), x.std(0, unbiased=False)
    y_offset, y_scale = y.mean(0), y.std(0, unbiased=False)
    sizes = [len(inputs)] + hidden + [len(targets)]
    layers = []
    for k in range(len(sizes) - 1):
        layers.append(torch.nn.Linear(sizes[k], sizes[k + 1]).double())
        if k < len(sizes) - 2:
            layers.append(torch.nn.Tanh())
    network = torch.nn.Sequential(*layers)
    optimiser = torch.optim.Adam(network.parameters(), lr=0.01)
    scaled = (x - x_offset) / x_scale
    done, rms = 0, float("inf")
    start = time.perf_counter()
    for done in range(iterations + 1):
        predicted = network(scaled) * y_scale + y_offset
        loss = ((((predicted - y) / y_scale) ** 2).mean(0) * weights).sum() / weights.sum()
        rms = loss.item() ** 0.5  # read every iteration, as the library does
        if rms <= target or done == iterations:
            break
        optimiser.zero_grad()
        loss.backward()
        optimiser.step()
    print(time.perf_counter() - start, rms, done)


if __name__ == "__main__":
    main()
