#!/usr/bin/python3
"""Writes the AI runtime test fixtures: one 4-16-16-2 feed-forward network (seeded) saved as
TorchScript, as ONNX and as a Python model script, with reference outputs, plus an ONNX model
using an operator that the ONNX runtime cannot run. Run from this folder:
    /usr/bin/python3 make_fixtures.py
"""
import csv

import onnx
import onnx.helper as oh
import torch

torch.manual_seed(7)
net = torch.nn.Sequential(
    torch.nn.Linear(4, 16), torch.nn.Tanh(),
    torch.nn.Linear(16, 16), torch.nn.Tanh(),
    torch.nn.Linear(16, 2),
).eval()

# TorchScript archive.
torch.jit.script(net).save("mlp_4_16_16_2.pt")

# ONNX with a free batch dimension.
torch.onnx.export(net, torch.zeros(1, 4), "mlp_4_16_16_2.onnx", input_names=["inputs"],
                  output_names=["outputs"], dynamic_axes={"inputs": {0: "cases"}, "outputs": {0: "cases"}},
                  opset_version=13)

# The same network as a Python model script (numpy when available, plain lists otherwise).
layers = [m for m in net if isinstance(m, torch.nn.Linear)]
weights = [[[float(v) for v in row] for row in m.weight.detach().tolist()] for m in layers]
biases = [[float(v) for v in m.bias.detach().tolist()] for m in layers]
with open("mlp_4_16_16_2.py", "w") as f:
    f.write("# A 4-16-16-2 tanh network; written by make_fixtures.py.\n")
    f.write("import numpy as np\n\n")
    f.write("WEIGHTS = [np.array(w) for w in %r]\n" % (weights,))
    f.write("BIASES = [np.array(b) for b in %r]\n\n\n" % (biases,))
    f.write("def evaluate(inputs):\n")
    f.write("    x = np.asarray(inputs, dtype=np.float64)\n")
    f.write("    for i, (w, b) in enumerate(zip(WEIGHTS, BIASES)):\n")
    f.write("        x = x @ w.T + b\n")
    f.write("        if i < len(WEIGHTS) - 1:\n")
    f.write("            x = np.tanh(x)\n")
    f.write("    return x\n")

# Reference outputs in double precision for a batch of several cases.
inputs = torch.tensor([[0.0, 0.0, 0.0, 0.0],
                       [1.0, -1.0, 0.5, 2.0],
                       [-0.25, 0.75, -1.5, 0.1],
                       [3.0, 2.0, 1.0, -4.0],
                       [0.3, 0.3, -0.3, -0.3]], dtype=torch.float64)
with torch.no_grad():
    outputs = net.double()(inputs)
with open("mlp_4_16_16_2_reference.csv", "w", newline="") as f:
    w = csv.writer(f)
    w.writerow(["in1", "in2", "in3", "in4", "out1", "out2"])
    for i, o in zip(inputs.tolist(), outputs.tolist()):
        w.writerow([repr(v) for v in i + o])

# An ONNX model whose only node is an operator the runtime does not implement.
node = oh.make_node("Unique", ["x"], ["y"])
graph = oh.make_graph([node], "unsupported",
                      [oh.make_tensor_value_info("x", onnx.TensorProto.FLOAT, [None, 4])],
                      [oh.make_tensor_value_info("y", onnx.TensorProto.FLOAT, [None])])
onnx.save(oh.make_model(graph, opset_imports=[oh.make_opsetid("", 13)]), "unsupported_operator.onnx")
