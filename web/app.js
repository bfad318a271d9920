// The page: collects the data and the options, runs the program (kappa.js,
// the command line compiled to WebAssembly) on them, and shows its results.
// Nothing is sent anywhere: the file is read into the program's memory.
"use strict";

const $ = (id) => document.getElementById(id);
let kappa = null;     // the program, once loaded
let data = null;      // {name, bytes} of the chosen file, or null for the pasted text
let reading = Promise.resolve();  // the chosen file, being read
const urls = [];      // object URLs of the last results, released before the next

// Layout, when it is to be found from the data: a line starting with an empty
// field and a TAB is the corner of a cross-table; three or more TAB-separated
// fields ending with a number (a frequency, or a weight) are a table;
// anything else is taken for ratings.
function foundLayout(bytes) {
  const start = new TextDecoder().decode(bytes.subarray(0, 4096)).replace(/^\uFEFF/, "");
  const first = start.split(/\r?\n/).find((line) => line.trim() !== "") || "";
  if (first.startsWith("\t")) return "matrix";
  const fields = first.split("\t");
  if (fields.length >= 3 && /^\s*\d+(\.\d*)?\s*$/.test(fields[fields.length - 1])) return "table";
  return "ratings";
}

function checked(name) {
  return [...document.querySelectorAll(`input[name=${name}]:checked`)].map((box) => box.value);
}

// The command line's options for what the controls say.
function options(layout) {
  const args = ["--input", layout];
  const add = (option, value) => { if (value !== "") args.push(option, value); };
  add("--delimiter", $("delimiter").value);
  if ($("header").value === "yes") args.push("--header");
  if ($("header").value === "no") args.push("--no-header");
  for (const id of ["columns", "id", "by", "categories"]) add("--" + id, $(id).value.trim());
  add("--missing", $("missing").value);
  if ($("drop-incomplete").checked) args.push("--drop-incomplete");
  const coefficients = checked("coefficient");
  add("--coefficients", coefficients.includes("all") ? "all" : coefficients.join(","));
  add("--weights", checked("weight").join(","));
  add("--confidence", $("confidence").value.trim());
  add("--kappa0", $("kappa0").value.trim());
  args.push("--alternative", $("alternative").value);
  if ($("diagnostics").checked) args.push("--diagnostics");
  return args;
}

function input() {
  if (data) return data;
  return { name: "pasted.txt", bytes: new TextEncoder().encode($("paste").value) };
}

function link(id, text, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  urls.push(url);
  $(id).href = url;
  return url;
}

function cell(row, text, header = false) {
  const c = document.createElement(header ? "th" : "td");
  c.textContent = text;
  row.appendChild(c);
}

const fixed = (x, digits) => (x === null || x === undefined ? "n/a" : x.toFixed(digits));
const pValue = (p) => (p === null || p === undefined ? "n/a" : p < 0.0001 ? "< 0.0001" : p.toFixed(4));

function list(id, items) {
  $(id).replaceChildren(...items.map((text) => {
    const item = document.createElement("li");
    item.textContent = text;
    return item;
  }));
}

function showResults(result, analyses) {
  const grouped = analyses.some((a) => a.group !== undefined);
  const head = $("summary").tHead.rows[0];
  head.replaceChildren();
  for (const h of [...(grouped ? ["Group"] : []), "Coefficient", "Weights", "Estimate", "SE", "CI", "p", "Subjects"])
    cell(head, h, true);
  const body = $("summary").tBodies[0];
  body.replaceChildren();
  const reports = [], notes = [];
  for (const a of analyses) {
    const where = a.group !== undefined ? `group ${a.group}: ` : "";
    for (const note of a.notes) notes.push(where + note);
    for (const e of a.estimates) {
      const row = body.insertRow();
      if (grouped) cell(row, a.group ?? "");
      cell(row, e.name);
      cell(row, e.weights);
      cell(row, fixed(e.kappa, 4));
      cell(row, fixed(e.se, 5));
      cell(row, e.wald.ci ? `[${fixed(e.wald.ci[0], 4)}, ${fixed(e.wald.ci[1], 4)}]` : "n/a");
      cell(row, pValue(e.wald.p_value));
      cell(row, String(e.subjects));
      if (e.report) reports.push(where + e.report);
      for (const note of e.notes) notes.push(where + e.name + " (" + e.weights + "): " + note);
    }
  }
  // What the file was found to hold, for the controls above to correct.
  const first = analyses[0];
  const delimiters = { "\t": "tab", ",": "comma", ";": "semicolon", "|": "vertical bar", " ": "blanks" };
  const raters = (first.rater_summary || []).map((r) => r.name);  // none for counts, or beyond 1,000 raters
  $("found").textContent = `${first.subjects} subjects, ${first.raters || "no named"} raters` +
    (raters.length ? ` (${raters.slice(0, 10).join(", ")}${raters.length > 10 ? ", …" : ""})` : "") +
    `, ${first.categories} categories (${first.category_labels.join(", ")}), read as ${first.input}` +
    (first.delimiter ? ` with the delimiter ${delimiters[first.delimiter]}` : "") +
    (analyses.length > 1 ? `, ${analyses.length} groups` : "") + ".";
  list("reports", reports);
  list("notes", notes.length ? notes : ["none"]);
  $("text").textContent = result.text;
  // The diagnostics' tables are in the text report: opened when they are asked for.
  if ($("diagnostics").checked) $("full-report").open = true;
  link("download-json", result.json, "application/json");
  link("download-csv", result.csv, "text/csv");
  link("download-text", result.text, "text/plain");
  $("plot").src = link("download-svg", result.plot, "image/svg+xml");
  $("pairs-area").hidden = !result.pairsPlot;
  if (result.pairsPlot) {
    const url = URL.createObjectURL(new Blob([result.pairsPlot], { type: "image/svg+xml" }));
    urls.push(url);
    $("pairs-plot").src = url;
  }
  $("results").hidden = false;
}

// The program's messages, and the line of the data that the first one names
// (its column is the field's number).
function showError(messages, name, bytes) {
  const lines = [];
  let located = null;
  for (const message of messages.split("\n").filter((m) => m !== "" && !m.startsWith("Try 'kappa"))) {
    const prefix = `kappa: ${name}:`;
    const at = message.startsWith(prefix) ? /^(\d+)(?::(\d+))?: (.*)$/.exec(message.slice(prefix.length)) : null;
    if (at && !located) located = { line: Number(at[1]) };
    lines.push(at ? `Line ${at[1]}${at[2] ? ", column " + at[2] : ""}: ${at[3]}`
                  : message.replace(/^kappa: /, "").replace(prefix.slice(7) + " ", ""));
  }
  $("error-message").textContent = lines.join("\n");
  $("error-line").textContent = "";
  if (located) {
    const text = new TextDecoder().decode(bytes).replace(/^\uFEFF/, "").split(/\r?\n/);
    const line = text[located.line - 1] ?? "";
    $("error-line").textContent = `${located.line} | ${line}`;
  }
  $("error").hidden = false;
}

function analyse() {
  const { name, bytes } = input();
  $("error").hidden = true;
  $("results").hidden = true;
  while (urls.length) URL.revokeObjectURL(urls.pop());
  const layout = $("layout").value === "auto" ? foundLayout(bytes) : $("layout").value;
  const started = performance.now();
  kappa.FS.writeFile("/data/" + name, bytes);
  let result;
  try {
    result = kappa.analyseFile(options(layout), name);
  } finally {
    kappa.FS.unlink("/data/" + name);
  }
  const seconds = (performance.now() - started) / 1000;
  const analyses = result.json.split("\n").filter((line) => line !== "").map((line) => JSON.parse(line));
  if (analyses.length) showResults(result, analyses);
  if (result.status !== 0) showError(result.errors, name, bytes);
  $("run-status").textContent = `Analysed as ${layout} in ${seconds.toFixed(2)} s.`;
  $("run-status").dataset.seconds = seconds;
}

function choose(file) {
  reading = file.arrayBuffer().then((buffer) => {
    data = { name: file.name.replace(/[/\\]/g, "_"), bytes: new Uint8Array(buffer) };
    $("source-status").textContent = `${file.name}: ${buffer.byteLength.toLocaleString("en")} bytes`;
  });
}

$("file").addEventListener("change", () => { if ($("file").files.length) choose($("file").files[0]); });
$("paste").addEventListener("input", () => {
  data = null;
  $("file").value = "";
  $("source-status").textContent = "the pasted text";
});
$("drop").addEventListener("dragover", (event) => { event.preventDefault(); $("drop").classList.add("over"); });
$("drop").addEventListener("dragleave", () => $("drop").classList.remove("over"));
$("drop").addEventListener("drop", (event) => {
  event.preventDefault();
  $("drop").classList.remove("over");
  if (event.dataTransfer.files.length) choose(event.dataTransfer.files[0]);
});
$("analysis").addEventListener("submit", (event) => {
  event.preventDefault();
  $("run-status").textContent = "Analysing…";
  // Let the status show before the analysis takes the thread.
  reading.then(() => setTimeout(() => {
    try {
      analyse();
    } catch (error) {
      $("run-status").textContent = `The page failed: ${error}`;
    }
  }, 0));
});

// The coefficients, weights and alternatives the program offers (its
// catalogs), each a labelled control, the command line's defaults chosen.
function offerChoices(catalog) {
  const checkbox = (name, entry) => {
    const label = document.createElement("label");
    label.className = "check";
    const box = document.createElement("input");
    box.type = "checkbox";
    box.name = name;
    box.value = entry.id;
    box.checked = entry.default;
    label.append(box, " " + entry.label);
    return label;
  };
  const all = $("coefficients").querySelector("input[value=all]").parentElement;
  for (const entry of catalog.coefficients) all.before(checkbox("coefficient", entry));
  for (const entry of catalog.weights) $("weights").append(checkbox("weight", entry));
  for (const entry of catalog.alternatives) {
    const option = new Option(entry.label, entry.id, entry.default, entry.default);
    $("alternative").append(option);
  }
}

createKappa().then((program) => {
  kappa = program;
  offerChoices(JSON.parse(kappa.catalog()));
  kappa.FS.mkdir("/data");
  kappa.FS.chdir("/data");
  $("run").disabled = false;
  $("run-status").textContent = "Ready.";
  $("run-status").dataset.loaded = performance.now();
});
