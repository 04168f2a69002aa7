#!/usr/bin/python3
"""Writes the small ONNX models that the import is held to: models/*.onnx, written by hand with
onnx.helper (each one a convention an exporter uses, or a case the import once got wrong) and by
torch.onnx.export from seeded networks, plus models/mlp_float64_reference.csv (a float64 network's
outputs computed by numpy in double). The cross-check (models.txt) runs them through ONNX Runtime;
the unit tests and the ONNX fuzzer's seeds use them too. Run from this folder:
    /usr/bin/python3 make_models.py
"""
import csv
import os

import numpy as np
import onnx
import onnx.helper as oh
import onnx.numpy_helper as onh
import torch

OUT = "models"
os.makedirs(OUT, exist_ok=True)
F = onnx.TensorProto.FLOAT
D = onnx.TensorProto.DOUBLE


def save(name, nodes, inputs, outputs, initializers=(), opset=13):
    graph = oh.make_graph(nodes, name, inputs, outputs, list(initializers))
    model = oh.make_model(graph, opset_imports=[oh.make_opsetid("", opset)], producer_name="make_models.py")
    model.ir_version = 8
    onnx.checker.check_model(model)
    onnx.save(model, os.path.join(OUT, name + ".onnx"))


def io(name, width, elem=F):
    return oh.make_tensor_value_info(name, elem, ["cases", width])


def const(name, array):
    return onh.from_array(np.asarray(array), name)


# Gemm with alpha and beta: (500, 20) gives (1030, 100).
save("gemm_alpha_beta", [oh.make_node("Gemm", ["x", "B", "C"], ["y"], name="fc1", alpha=2.0, beta=3.0)],
     [io("x", 2)], [io("y", 2)], [const("B", np.eye(2, dtype=np.float32)), const("C", np.array([10, 20], np.float32))])
# Gemm without transB (its default is 0): (500, 20) gives (560, 1080).
save("gemm_no_transb", [oh.make_node("Gemm", ["x", "B"], ["y"], name="fc1")],
     [io("x", 2)], [io("y", 2)], [const("B", np.array([[1, 2], [3, 4]], np.float32))])
# Non-square weights, no transB, a bias broadcast along the rows.
save("gemm_nonsquare", [oh.make_node("Gemm", ["x", "B", "C"], ["y"], name="fc1", beta=0.5)],
     [io("x", 3)], [io("y", 2)],
     [const("B", np.array([[1, -2], [0.5, 3], [-1, 0.25]], np.float32)), const("C", np.array([[1, -1]], np.float32))])
# transA: the cases arrive transposed.
save("gemm_transa", [oh.make_node("Transpose", ["x"], ["xt"], name="t"),
                     oh.make_node("Gemm", ["xt", "B"], ["y"], name="fc1", transA=1, transB=1)],
     [io("x", 3)], [io("y", 2)], [const("B", np.array([[1, 2, 3], [-1, 0.5, 2]], np.float32))])
# The declared output is a hidden layer's activation; a node after it computes something else.
save("output_not_last", [oh.make_node("Gemm", ["x", "W", "b"], ["h"], name="fc1", transB=1),
                         oh.make_node("Tanh", ["h"], ["y"], name="act1"),
                         oh.make_node("Gemm", ["y", "W2"], ["z"], name="fc2", transB=1)],
     [io("x", 2)], [io("y", 3)],
     [const("W", np.array([[0.5, -1], [1, 1], [-0.25, 2]], np.float32)), const("b", np.array([0.1, 0, -0.1], np.float32)),
      const("W2", np.array([[1, 1, 1]], np.float32))])
# A graph that exposes a hidden layer as a second output.
save("two_outputs", [oh.make_node("Gemm", ["x", "W"], ["h"], name="fc1", transB=1),
                     oh.make_node("Relu", ["h"], ["y"], name="act1")],
     [io("x", 2)], [io("h", 2), io("y", 2)], [const("W", np.array([[1, -1], [2, 0.5]], np.float32))])
# Clip in its opset-11 form: min and max as inputs (what PyTorch writes for Hardtanh and clamp).
save("clip_inputs", [oh.make_node("Gemm", ["x", "W"], ["h"], name="fc1", transB=1),
                     oh.make_node("Clip", ["h", "lo", "hi"], ["y"], name="clamp")],
     [io("x", 2)], [io("y", 2)],
     [const("W", np.array([[1, 0], [0, 3]], np.float32)), const("lo", np.array(-1, np.float32)),
      const("hi", np.array(2, np.float32))])
# MatMul and Add with a bias, shape operators and a cast round trip.
save("matmul_shapes", [oh.make_node("MatMul", ["x", "W"], ["m"], name="mm"),
                       oh.make_node("Add", ["m", "b"], ["a"], name="bias"),
                       oh.make_node("Unsqueeze", ["a", "axis1"], ["u"], name="unsq"),
                       oh.make_node("Concat", ["u", "u"], ["c"], name="cat", axis=1),
                       oh.make_node("Flatten", ["c"], ["f"], name="flat", axis=1),
                       oh.make_node("Selu", ["f"], ["sl"], name="selu"),
                       oh.make_node("Cast", ["sl"], ["fd"], name="todouble", to=D),
                       oh.make_node("Mul", ["fd", "fd"], ["s"], name="square"),
                       oh.make_node("Cast", ["s"], ["sf"], name="tofloat", to=F),
                       oh.make_node("Reshape", ["sf", "shape"], ["y"], name="rows")],
     [io("x", 3)], [io("y", 4)],
     [const("W", np.array([[1, 2], [-1, 0.5], [0.25, -3]], np.float32)), const("b", np.array([0.5, -0.5], np.float32)),
      const("axis1", np.array([1], np.int64)), const("shape", np.array([0, -1], np.int64))])

# A float64 network with raw_data weights (what numpy and PyTorch write), and its double reference.
rng = np.random.default_rng(11)
w1, b1 = rng.normal(size=(8, 3)), rng.normal(size=8)
w2, b2 = rng.normal(size=(2, 8)), rng.normal(size=2)
save("mlp_float64", [oh.make_node("Gemm", ["x", "w1", "b1"], ["h"], name="fc1", transB=1),
                     oh.make_node("Sigmoid", ["h"], ["a"], name="act1"),
                     oh.make_node("Gemm", ["a", "w2", "b2"], ["y"], name="fc2", transB=1)],
     [io("x", 3, D)], [io("y", 2, D)], [const("w1", w1), const("b1", b1), const("w2", w2), const("b2", b2)])
cases = np.array([[0, 0, 0], [1, -1, 0.5], [0.123456789, 2.5, -3.75], [-10, 4, 1e-3]], dtype=np.float64)
reference = (1 / (1 + np.exp(-(cases @ w1.T + b1)))) @ w2.T + b2
with open(os.path.join(OUT, "mlp_float64_reference.csv"), "w", newline="") as f:
    writer = csv.writer(f)
    writer.writerow(["in1", "in2", "in3", "out1", "out2"])
    for i, o in zip(cases.tolist(), reference.tolist()):
        writer.writerow([repr(v) for v in i + o])

# Networks as PyTorch exports them.
torch.manual_seed(5)
activations = torch.nn.Sequential(
    torch.nn.Linear(4, 12), torch.nn.ReLU(), torch.nn.Linear(12, 12), torch.nn.Sigmoid(),
    torch.nn.Linear(12, 12), torch.nn.LeakyReLU(0.2), torch.nn.Linear(12, 12), torch.nn.ELU(0.7),
    torch.nn.Linear(12, 12), torch.nn.SELU(), torch.nn.Linear(12, 12), torch.nn.Softplus(),
    torch.nn.Linear(12, 12), torch.nn.Hardsigmoid(), torch.nn.Linear(12, 12), torch.nn.Hardtanh(-0.5, 0.5),
    torch.nn.Linear(12, 3)).eval()
tanh = torch.nn.Sequential(torch.nn.Linear(5, 16), torch.nn.Tanh(), torch.nn.Linear(16, 16), torch.nn.Tanh(),
                           torch.nn.Linear(16, 2)).eval()
dynamic = {"inputs": {0: "cases"}, "outputs": {0: "cases"}}
for name, net, width, double in [("torch_activations", activations, 4, False), ("torch_tanh", tanh, 5, False),
                                 ("torch_tanh_float64", tanh, 5, True)]:
    net = net.double() if double else net.float()
    example = torch.zeros(1, width, dtype=torch.float64 if double else torch.float32)
    torch.onnx.export(net, example, os.path.join(OUT, name + ".onnx"), input_names=["inputs"],
                      output_names=["outputs"], dynamic_axes=dynamic, opset_version=13)
# Exported with a fixed batch of one: the cases go through one at a time.
torch.onnx.export(tanh.float(), torch.zeros(1, 5), os.path.join(OUT, "torch_tanh_batch1.onnx"),
                  input_names=["inputs"], output_names=["outputs"], opset_version=13)
