#!/usr/bin/env node
// Evaluates each model of a list (models.txt) with ONNX Runtime on the same cases the project's
// import is given, writing NAME.inputs.csv and NAME.onnxruntime.csv (full precision) to OUT_DIR.
// A line may end with one LOW:HIGH range per input, mapping the cases' [-3, 3] onto it. A model
// with several inputs takes one {cases, 1} column each, in order, and its outputs are written side
// by side in the order of its outputs.
// Usage: node run-onnxruntime.js REPO_ROOT MODEL_LIST OUT_DIR   (onnxruntime-node on NODE_PATH)
'use strict';
const fs = require('fs');
const path = require('path');
const ort = require('onnxruntime-node');

// The cases: zeros, a row of ones and values from a fixed generator spanning [-3, 3].
function cases(width) {
    const rows = [new Array(width).fill(0), new Array(width).fill(1)];
    let state = 12345;
    for (let r = 0; r < 6; ++r) {
        const row = [];
        for (let c = 0; c < width; ++c) {
            state = (state * 1103515245 + 12345) % 2147483648;
            row.push(Math.round((state / 2147483648 * 6 - 3) * 1e6) / 1e6);
        }
        rows.push(row);
    }
    return rows;
}

function csv(rows) {
    return rows.map((row) => row.map((v) => v.toPrecision(17)).join(',')).join('\n') + '\n';
}

async function main() {
    const [root, list, out] = process.argv.slice(2);
    if (!out) {
        console.error('usage: run-onnxruntime.js REPO_ROOT MODEL_LIST OUT_DIR');
        process.exit(2);
    }
    fs.mkdirSync(out, { recursive: true });
    const lines = fs.readFileSync(list, 'utf8').split('\n').map((l) => l.trim()).filter((l) => l && !l.startsWith('#'));
    for (const line of lines) {
        const [model, widthText, type, ...ranges] = line.split(/\s+/);
        const width = Number(widthText);
        const name = path.basename(model, '.onnx');
        const session = await ort.InferenceSession.create(path.join(root, model));
        let rows = cases(width);
        if (ranges.length === width) {
            const bounds = ranges.map((r) => r.split(':').map(Number));
            rows = rows.map((row) => row.map((v, c) => bounds[c][0] + (v + 3) / 6 * (bounds[c][1] - bounds[c][0])));
        }
        // One case a run, so that models exported for a batch of one take them too; the project's
        // side evaluates all cases in one batch.
        const batch = 1;
        const results = [];
        for (let first = 0; first < rows.length; first += batch) {
            const part = rows.slice(first, first + batch);
            const flat = part.flat();
            const data = type === 'float64' ? Float64Array.from(flat) : Float32Array.from(flat);
            if (session.inputNames.length === 1) {
                const input = new ort.Tensor(type, data, [part.length, width]);
                const output = (await session.run({ [session.inputNames[0]]: input }))[session.outputNames[0]];
                const columns = output.dims.length === 2 ? output.dims[1] : 1;
                for (let r = 0; r < part.length; ++r)
                    results.push(Array.from(output.data.slice(r * columns, (r + 1) * columns), Number));
                continue;
            }
            const feeds = {};
            session.inputNames.forEach((inputName, c) => {
                const column = part.map((row) => row[c]);
                feeds[inputName] = new ort.Tensor(type, type === 'float64' ? Float64Array.from(column)
                                                                           : Float32Array.from(column), [part.length, 1]);
            });
            const outputs = await session.run(feeds);
            for (let r = 0; r < part.length; ++r)
                results.push(session.outputNames.map((outputName) => Number(outputs[outputName].data[r])));
        }
        fs.writeFileSync(path.join(out, name + '.inputs.csv'), csv(rows));
        fs.writeFileSync(path.join(out, name + '.onnxruntime.csv'), csv(results));
        console.log(`${name}: ${rows.length} cases, ${results[0].length} outputs`);
    }
}

main().catch((e) => {
    console.error(`run-onnxruntime.js: ${e.message || e}`);
    process.exit(1);
});
