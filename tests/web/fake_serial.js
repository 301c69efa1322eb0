// Test only, put in place before the page's own script: a navigator.serial
// whose ports carry their bytes over a WebSocket to the bridge on a simulated
// MCU's terminal. It records what the test checks: the options of every
// open(), when each chunk reached the page and when each write left it, and
// every text the window's status label showed, and when the page was ready.
// Like a browser's port, it refuses to open twice and to close while one of
// its streams is locked, and a second choice may give the same port again. window.__vardelFake, set
// before this script, says where the bridge is and what goes wrong on purpose.
(() => {
  const config = window.__vardelFake;
  const record = (window.__vardelRecord = { opens: [], arrivals: [], writes: [], statuses: [], openPorts: 0 });
  let chosen = null;
  const listeners = [];

  class FakePort extends EventTarget {
    constructor() {
      super();
      this.readable = null;
      this.writable = null;
    }

    getInfo() { return { usbVendorId: 0x0403, usbProductId: 0x6001 }; }

    async open(options) {
      if (this.socket) throw new DOMException("The port is already open.", "InvalidStateError");
      record.opens.push(options);
      const socket = new WebSocket(config.bridge);
      socket.binaryType = "arraybuffer";
      // The bridge's first message says whether the terminal opened.
      const first = await new Promise((resolve) => {
        socket.onmessage = (event) => resolve(event.data);
        socket.onclose = () => resolve("closed");
      });
      if (first !== "open") throw new DOMException(`Failed to open serial port (${first}).`, "NetworkError");
      this.socket = socket;
      record.openPorts += 1;
      this.readable = new ReadableStream({
        start: (controller) => {
          socket.onmessage = (event) => {
            record.arrivals.push(performance.now());
            controller.enqueue(new Uint8Array(event.data));
          };
          socket.onclose = () => this.lose(controller);
        },
      });
      this.makeWritable();
    }

    // A write that fails leaves a new stream behind it, as a port that is
    // still there does after an error it can go on from.
    makeWritable() {
      this.writable = new WritableStream({
        write: (chunk) => {
          record.writes.push([performance.now(), chunk.length]);
          if (record.writes.length === config.failWrite) {
            this.makeWritable();
            throw new DOMException("The write failed.", "NetworkError");
          }
          this.socket.send(chunk);
        },
      });
    }

    lose(controller) {
      if (!this.socket) return;
      this.readable = null;
      this.writable = null;
      controller.error(new DOMException("The device has been lost.", "NetworkError"));
      const event = new Event("disconnect");
      this.dispatchEvent(event);
      for (const listener of listeners) listener(event);
    }

    async close() {
      if ((this.readable && this.readable.locked) || (this.writable && this.writable.locked)) {
        throw new TypeError("Cannot close a port with a locked stream.");
      }
      if (!this.socket) return;
      const socket = this.socket;
      this.socket = null;
      this.readable = null;
      this.writable = null;
      record.openPorts -= 1;
      socket.onclose = null;
      socket.close();
    }
  }

  // A tab in the background: the browser runs its timers once a second.
  if (config.backgroundTimers) {
    const setInterval = window.setInterval;
    window.setInterval = (handler, period, ...rest) => setInterval(handler, Math.max(period, 1000), ...rest);
  }

  if (config.noWebSerial) {
    delete Navigator.prototype.serial;
  } else {
    Object.defineProperty(Navigator.prototype, "serial", {
      configurable: true,
      get: () => ({
        requestPort: async () => (chosen = config.samePort && chosen ? chosen : new FakePort()),
        getPorts: async () => [],
        addEventListener: (type, listener) => { if (type === "disconnect") listeners.push(listener); },
      }),
    });
  }

  new MutationObserver(() => {
    if (!record.readyAt && document.body && document.body.dataset.ready) record.readyAt = performance.now();
    const status = document.getElementById("control-1005");
    const text = status ? status.textContent : "";
    if (text && record.statuses[record.statuses.length - 1] !== text) record.statuses.push(text);
  }).observe(document, { subtree: true, childList: true, characterData: true, attributes: true });
})();
