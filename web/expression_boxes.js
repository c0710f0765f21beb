// The expression boxes, A to D: one text box with its Roll button each, and a
// remove button while there is more than one. Enter in a box rolls that box.
import { SERIES_LETTERS } from "./odds_view.js";
import { node } from "./html_node.js";

export const MAX_EXPRESSIONS = SERIES_LETTERS.length;

export class ExpressionBoxes {
  // list: the <ol> of boxes; addButton: the "Add expression" button;
  // handlers: { roll(index), removed() }.
  constructor(list, addButton, handlers) {
    this.list = list;
    this.addButton = addButton;
    this.handlers = handlers;
    addButton.addEventListener("click", () => this.add());
  }

  inputs() {
    return [...this.list.querySelectorAll("input.expression-input")];
  }

  // The typed expressions, blank boxes left out.
  expressions() {
    return this.inputs().map((input) => input.value).filter((text) => text.trim() !== "");
  }

  build(expressions) {
    const texts = expressions.length > 0 ? expressions : [""];
    this.list.replaceChildren(...texts.map((text, index) => this.#row(text, index, texts.length)));
    this.addButton.disabled = texts.length >= MAX_EXPRESSIONS;
  }

  add() {
    const texts = this.inputs().map((input) => input.value);
    if (texts.length >= MAX_EXPRESSIONS) return;
    this.build([...texts, ""]);
    this.inputs().at(-1).focus();
  }

  #remove(index) {
    const texts = this.inputs().map((input) => input.value);
    texts.splice(index, 1);
    this.build(texts);
    this.inputs()[Math.min(index, texts.length - 1)].focus();
    this.handlers.removed();
  }

  #row(text, index, count) {
    const letter = SERIES_LETTERS[index];
    const row = node("li", { class: "expression-row" });
    row.innerHTML = `
      <label class="series-tag series-${index}" for="expression-${index}"><span class="visually-hidden">Expression </span>${letter}</label>
      <input id="expression-${index}" class="expression-input" type="text" spellcheck="false"
        autocapitalize="off" autocorrect="off" enterkeyhint="go" aria-describedby="expressions-hint">
      <button type="button" class="roll-button">Roll</button>`;
    const input = row.querySelector("input");
    input.value = text;
    input.addEventListener("keydown", (event) => {
      if (event.key === "Enter") {
        event.preventDefault();
        this.handlers.roll(index);
      }
    });
    row.querySelector(".roll-button").addEventListener("click", () => this.handlers.roll(index));
    if (count > 1) {
      const remove = node("button", { type: "button", class: "remove-button", "aria-label": `Remove expression ${letter}` }, "×");
      remove.addEventListener("click", () => this.#remove(index));
      row.append(remove);
    }
    return row;
  }
}
