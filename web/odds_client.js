// Runs odds requests on the worker. A new request while one is running ends the
// old worker (an exact computation cannot be interrupted from inside) and starts
// a fresh one, so the page always shows the odds of what is typed now.
export class OddsClient {
  #worker = null;
  #busy = false;
  #id = 0;

  // handlers: { block(index, block), done(comparison), failed(message) }
  constructor(handlers) {
    this.handlers = handlers;
  }

  #start() {
    const worker = new Worker(new URL("./odds_worker.js", import.meta.url), { type: "module" });
    worker.onmessage = ({ data }) => {
      if (data.id !== this.#id) return;
      if (data.failed) {
        this.#busy = false;
        this.handlers.failed(data.failed);
      } else if (data.done) {
        this.#busy = false;
        this.handlers.done(data.comparison);
      } else {
        this.handlers.block(data.index, data.block);
      }
    };
    worker.onerror = (event) => {
      event.preventDefault();
      this.#busy = false;
      this.#worker = null;
      worker.terminate();
      this.handlers.failed("The odds engine could not be loaded" + (event.message ? `: ${event.message}` : "."));
    };
    return worker;
  }

  request(expressions) {
    if (this.#busy && this.#worker) {
      this.#worker.terminate();
      this.#worker = null;
    }
    this.#worker ??= this.#start();
    this.#busy = true;
    this.#worker.postMessage({ id: ++this.#id, expressions });
  }
}
