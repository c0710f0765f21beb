// The expression boxes, A to H: one text box with its Roll button each, and a
// remove button while there is more than one. Enter in a box rolls that box.
// Each box remembers its last roll (the text rolled and the seed) and its
// across-the-set choice, which the link carries.
import { SERIES_LETTERS } from "./odds_view.js";
import { node } from "./html_node.js";

export const MAX_EXPRESSIONS = SERIES_LETTERS.length;

export class ExpressionBoxes {
  #rows = [];   // per box: { input, rolled: { expression, seed } | null, across }
  #lastFocused = 0;

  // list: the <ol> of boxes; addButton: the "Add expression" button;
  // handlers: { roll(index), typed(), removed() }.
  constructor(list, addButton, handlers) {
    this.list = list;
    this.addButton = addButton;
    this.handlers = handlers;
    addButton.addEventListener("click", () => this.add());
  }

  inputs() {
    return this.#rows.map((row) => row.input);
  }

  // The boxes as the link writes them: { expression, seed, across }, seed only
  // while the box holds the text it rolled, blank boxes left out.
  entries() {
    return this.#rows.filter(({ input }) => input.value.trim() !== "").map(({ input, rolled, across }) => ({
      expression: input.value,
      seed: rolled !== null && rolled.expression === input.value ? rolled.seed : null,
      across,
    }));
  }

  // The typed expressions, blank boxes left out.
  expressions() {
    return this.entries().map((entry) => entry.expression);
  }

  rolled(index, expression, seed) {
    this.#rows[index].rolled = { expression, seed };
  }

  // entries: { expression, seed, across }; a seed marks the box as rolled with it.
  build(entries) {
    const given = entries.length > 0 ? entries : [{ expression: "", seed: null, across: null }];
    this.#rows = given.map(({ expression, seed, across }) => ({
      input: null, rolled: seed == null ? null : { expression, seed }, across: across ?? null, text: expression,
    }));
    this.#render();
  }

  #render() {
    const texts = this.#rows.map((row) => row.input?.value ?? row.text);
    this.list.replaceChildren(...this.#rows.map((row, index) => this.#row(row, texts[index], index)));
    this.addButton.disabled = this.#rows.length >= MAX_EXPRESSIONS;
  }

  add() {
    if (this.#rows.length >= MAX_EXPRESSIONS) return;
    this.#rows.push({ input: null, rolled: null, across: null, text: "" });
    this.#render();
    this.inputs().at(-1).focus();
  }

  // Puts an example into the box last typed in and shows its odds at once.
  fill(text) {
    const input = this.inputs()[Math.min(this.#lastFocused, this.#rows.length - 1)];
    input.value = text;
    input.focus();
    this.handlers.typed(true);
  }

  #remove(index) {
    this.#rows.splice(index, 1);
    this.#render();
    this.inputs()[Math.min(index, this.#rows.length - 1)].focus();
    this.handlers.removed();
  }

  #row(state, text, index) {
    const letter = SERIES_LETTERS[index];
    const row = node("li", { class: "expression-row" });
    row.innerHTML = `
      <label class="series-tag series-${index}" for="expression-${index}"><span class="visually-hidden">Expression </span>${letter}</label>
      <input id="expression-${index}" class="expression-input" type="text" spellcheck="false"
        autocapitalize="off" autocorrect="off" enterkeyhint="go" aria-describedby="expressions-hint">
      <button type="button" class="roll-button">Roll</button>`;
    const input = row.querySelector("input");
    input.value = text;
    state.input = input;
    input.addEventListener("focus", () => { this.#lastFocused = index; });
    input.addEventListener("input", () => this.handlers.typed(false));
    input.addEventListener("keydown", (event) => {
      if (event.key === "Enter") {
        event.preventDefault();
        this.handlers.roll(index);
      }
    });
    row.querySelector(".roll-button").addEventListener("click", () => this.handlers.roll(index));
    if (this.#rows.length > 1) {
      const remove = node("button", { type: "button", class: "remove-button", "aria-label": `Remove expression ${letter}` }, "×");
      remove.addEventListener("click", () => this.#remove(index));
      row.append(remove);
    }
    return row;
  }
}
