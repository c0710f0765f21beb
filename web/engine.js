// The one place the page names the pipwerk package: the page and its odds worker
// both import the engine from here. Served from the repository root, web/ sits
// next to js/.
export * from "../js/browser.js";
