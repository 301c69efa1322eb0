// The page's own script: the Web Serial port and the firmware file the user
// chooses, handed to the engine's module, and the window that the module's
// dialog draws through the `page` object below. The engine never waits: its
// timer and every arrival of bytes run one short step each.
"use strict";

(function () {
  // The MCU's line: 38,400 baud, 8 data bits, no parity, 1 stop bit, no flow control.
  const LINE = { baudRate: 38400, dataBits: 8, parity: "none", stopBits: 1, flowControl: "none" };
  // Commands of the dialog manager: Enter, and Escape.
  const IDOK = 1;
  const IDCANCEL = 2;
  // Kinds of control, as the module numbers them.
  const BUTTON = 0;
  const STATIC = 1;
  const PROGRESS = 2;
  const SS_TYPEMASK = 0x1f;
  const SS_CENTER = 1;
  const SS_RIGHT = 2;

  const $ = (id) => document.getElementById(id);
  const serial = { port: null, reader: null, writer: null };
  let fileChoice = 0;
  const timers = new Map();
  let dialog = null;
  let client = null;
  let ended = false;

  // A browser's message without its closing full stop, to go inside a sentence.
  const reason = (error) => String(error && error.message ? error.message : error).replace(/\.$/, "");

  function say(id, text, kind) {
    const element = $(id);
    element.textContent = text;
    element.className = "state" + (kind ? " " + kind : "");
  }

  // --- the window, drawn for the module's dialog ---
  const page = {
    createWindow(caption, width, height) {
      dialog = document.createElement("div");
      dialog.className = "dialog";
      dialog.id = "dialog";
      dialog.tabIndex = -1;
      const bar = document.createElement("div");
      bar.className = "caption";
      const icon = document.createElement("img");
      icon.alt = "";
      icon.hidden = true;
      const title = document.createElement("span");
      title.textContent = caption;
      bar.append(icon, title);
      client = document.createElement("div");
      client.className = "client";
      client.style.width = `calc(${width} * var(--dlu))`;
      client.style.height = `calc(${height} * var(--dlu))`;
      dialog.append(bar, client);
      $("dialog-area").append(dialog);
    },
    addControl(id, kind, text, rect, style) {
      let control;
      if (kind === BUTTON) {
        control = document.createElement("button");
        control.type = "button";
        control.addEventListener("click", () => command(id));
      } else if (kind === PROGRESS) {
        control = document.createElement("div");
        control.className = "progress";
        control.setAttribute("role", "progressbar");
        control.setAttribute("aria-valuemin", "0");
        control.setAttribute("aria-valuemax", "100");
        control.append(document.createElement("div"));
        control.firstChild.className = "bar";
      } else {
        control = document.createElement("div");
        const align = style & SS_TYPEMASK;
        control.className = "static" + (align === SS_CENTER ? " center" : align === SS_RIGHT ? " right" : "");
      }
      control.id = "control-" + id;
      control.classList.add("control");
      for (const [side, value] of [["left", rect.x], ["top", rect.y], ["width", rect.width], ["height", rect.height]]) {
        control.style[side] = `calc(${value} * var(--dlu))`;
      }
      if (kind !== PROGRESS) control.textContent = text;
      client.append(control);
    },
    setText(id, text) { $("control-" + id).textContent = text; },
    enable(id, on) { $("control-" + id).disabled = !on; },
    setBar(id, position) {
      const control = $("control-" + id);
      control.firstChild.style.width = position + "%";
      control.setAttribute("aria-valuenow", String(position));
    },
    startTimer(timer, periodMs) {
      clearInterval(timers.get(timer));
      timers.set(timer, setInterval(() => engine._vardel_window_timer(timer), periodMs));
    },
    showIcon() {
      const icon = dialog.querySelector(".caption img");
      icon.src = "icon.svg";
      icon.hidden = false;
    },
    windowEnded(result) {
      ended = true;
      for (const handle of timers.values()) clearInterval(handle);
      timers.clear();
      dialog.classList.add("ended");
      const note = document.createElement("p");
      note.className = "ended-note";
      note.id = "ended";
      note.textContent = `The window was closed (${result === IDOK ? "OK" : "Cancel"}). Reload the page to start again.`;
      $("dialog-area").append(note);
      $("choose-port").disabled = true;
      $("firmware").disabled = true;
      for (const control of dialog.querySelectorAll("button")) control.disabled = true;
      // After the message that ended it: the port is let go, as at the program's end.
      setTimeout(async () => {
        engine._vardel_dialog_ended();
        await closePort();
        say("port-state", "The port is closed.");
      });
    },
    // --- the serial port, for the module's platform ---
    write(bytes) {
      const writer = serial.writer;
      if (!writer) return false;
      writer.write(bytes).catch((error) => writeFailed(writer, error));
      return true;
    },
    debug(line) { console.debug(line); },
  };

  const engine = { page, print: console.log, printErr: console.warn };

  function command(id) {
    if (!ended) engine._vardel_window_command(id);
  }

  // Enter and Escape are the dialog's, except in the guide's own controls.
  document.addEventListener("keydown", (event) => {
    if (ended || !dialog || $("guide").contains(event.target)) return;
    const plain = !event.altKey && !event.ctrlKey && !event.metaKey && !event.shiftKey;
    if (plain && event.key === "Enter") {
      event.preventDefault();
      command(IDOK);
    } else if (plain && event.key === "Escape") {
      event.preventDefault();
      command(IDCANCEL);
    }
  }, true);

  window.addEventListener("beforeunload", (event) => {
    if (engine._vardel_upgrade_under_way && engine._vardel_upgrade_under_way()) {
      event.preventDefault();
      event.returnValue = "";
    }
  });

  // --- the serial port ---
  function describe(port) {
    const info = port.getInfo ? port.getInfo() : {};
    if (info.usbVendorId === undefined) return "a serial port";
    const hex = (n) => n.toString(16).padStart(4, "0");
    return `USB serial adapter ${hex(info.usbVendorId)}:${hex(info.usbProductId)}`;
  }

  // A new port is opened before the one in use is let go: a choice that does
  // not open leaves the upgrade on the port it had.
  async function choosePort() {
    let port;
    try {
      port = await navigator.serial.requestPort();
    } catch (error) {
      if (!serial.port && $("port-state").textContent.startsWith("No port")) {
        say("port-state", `No port chosen (${reason(error)}).`, "bad");
      }
      return;
    }
    if (port === serial.port) {
      say("port-state", `${describe(port)}, open at 38,400 baud, 8N1 (already in use).`);
      return;
    }
    try {
      await port.open(LINE);
    } catch (error) {
      const still = serial.port ? ` Still using ${describe(serial.port)}.` : " Is another program using it?";
      say("port-state", `${describe(port)} did not open (${reason(error)}).${still}`, "bad");
      return;
    }
    await closePort();
    serial.port = port;
    serial.writer = port.writable.getWriter();
    engine._vardel_port_opened();
    say("port-state", `${describe(port)}, open at 38,400 baud, 8N1.`);
    $("choose-port").textContent = "Choose another serial port";
    readFrom(port);
  }

  // Each chunk is handed over as it comes and the dialog runs at once, so
  // that a tab in the background, whose timers run once a second, still
  // answers every request without delay. A port let go reads no further.
  async function readFrom(port) {
    let problem = null;
    while (port.readable && serial.port === port) {
      const reader = port.readable.getReader();
      serial.reader = reader;
      try {
        for (;;) {
          const { value, done } = await reader.read();
          if (done || serial.port !== port) break;
          deliver(value);
        }
      } catch (error) {
        problem = error; // a fatal one leaves no readable stream
      } finally {
        reader.releaseLock();
      }
    }
    if (serial.port === port) portLost(problem);
  }

  function deliver(chunk) {
    if (ended || chunk.length === 0) return;
    const buffer = engine._vardel_port_buffer(chunk.length);
    engine.HEAPU8.set(chunk, buffer);
    engine._vardel_port_received(buffer, chunk.length);
    engine._vardel_window_timers_now();
  }

  function portLost(error) {
    if (serial.port === null) return;
    engine._vardel_port_lost();
    closePort();
    const gone = `The serial port went away${error ? ` (${reason(error)})` : ""}.`;
    if (engine._vardel_upgrade_under_way()) {
      say("port-state", `${gone} Plug the adapter back in and choose the port again: ` +
          "the upgrade goes on where the MCU asks.", "bad");
    } else {
      say("port-state", gone, "bad");
    }
    $("choose-port").textContent = "Choose the serial port again";
  }

  // A write that fails is told as the engine tells one; a stream that can
  // still take bytes gets a new writer, one that cannot is a lost port.
  function writeFailed(writer, error) {
    if (serial.writer !== writer) return;
    engine._vardel_write_failed();
    try { writer.releaseLock(); } catch (ignored) { /* already released */ }
    serial.writer = serial.port && serial.port.writable ? serial.port.writable.getWriter() : null;
    if (!serial.writer) portLost(error);
  }

  // The reader and the writer let go first: a port with a locked stream
  // does not close.
  async function closePort() {
    const { port, reader, writer } = serial;
    serial.port = null;
    serial.reader = null;
    serial.writer = null;
    if (!port) return;
    if (reader) {
      await reader.cancel().catch(() => {});
      reader.releaseLock();
    }
    if (writer) writer.releaseLock();
    await port.close().catch(() => {});
  }

  // --- the firmware file ---
  // Only what the engine can use is read (and the size told), so a file of
  // any size is checked at once. The latest choice wins, whichever is read
  // first; once the upgrade has begun, its image is the one sent.
  async function chooseFile(file) {
    if (engine._vardel_upgrade_began()) {
      say("firmware-state", `Not used: ${file.name}. The upgrade has begun with the file chosen ` +
          "before; reload the page for another one.", "bad");
      return;
    }
    const choice = ++fileChoice;
    let bytes;
    try {
      bytes = new Uint8Array(await file.slice(0, engine._vardel_image_capacity()).arrayBuffer());
    } catch (error) {
      say("firmware-state", `${file.name} could not be read (${reason(error)}).`, "bad");
      return;
    }
    if (choice !== fileChoice) return;
    const nameSize = engine.lengthBytesUTF8(file.name) + 1;
    const name = engine._malloc(nameSize);
    const data = engine._malloc(Math.max(bytes.length, 1));
    engine.stringToUTF8(file.name, name, nameSize);
    engine.HEAPU8.set(bytes, data);
    const answer = engine.UTF8ToString(engine._vardel_firmware_chosen(name, data, bytes.length, file.size))
      .split("\n");
    engine._free(name);
    engine._free(data);
    const [verdict, blocks] = answer[0].split(" ");
    if (verdict === "refused") {
      say("firmware-state", `Not used: ${answer.slice(1).join("\n")}`, "bad");
      return;
    }
    const warnings = answer.slice(1);
    say("firmware-state", `${file.name}: ${file.size.toLocaleString("en")} bytes, ${blocks} blocks.` +
        (warnings.length ? "\n" + warnings.join("\n") : ""), warnings.length ? "warn" : "");
  }

  function takeDroppedFiles() {
    document.addEventListener("dragover", (event) => event.preventDefault());
    document.addEventListener("drop", (event) => {
      event.preventDefault();
      const file = event.dataTransfer.files[0];
      if (file && engine._vardel_firmware_chosen) chooseFile(file);
    });
  }

  // --- start ---
  const OPENED_AS_FILE = "This page was opened as a file, and a browser gives such a page neither its " +
    "engine nor a serial port. Serve the folder instead: python3 -m http.server in it, then open " +
    "http://localhost:8000/.";

  function webSerialProblem() {
    if (location.protocol === "file:") return OPENED_AS_FILE;
    if (!window.isSecureContext) {
      return "This page is not in a secure context, so the browser gives it no serial port. " +
        "Open it over HTTPS, or serve the folder on this computer (python3 -m http.server) " +
        "and open it as http://localhost:8000/.";
    }
    if (!("serial" in navigator)) {
      return "This browser has no Web Serial, so the page cannot reach a serial port. " +
        "Open it in Chrome or Edge 89 or later, or in Opera, on Windows, macOS, Linux or ChromeOS.";
    }
    return null;
  }

  function start() {
    const problem = webSerialProblem();
    if (problem) {
      $("support").textContent = problem;
      $("support").hidden = false;
      say("port-state", "No serial port can be chosen in this browser.", "bad");
    } else {
      $("choose-port").disabled = false;
      $("choose-port").addEventListener("click", choosePort);
      navigator.serial.addEventListener("disconnect", (event) => {
        if (event.target === serial.port) portLost(null);
      });
    }
    $("firmware").addEventListener("change", (event) => {
      if (event.target.files[0]) chooseFile(event.target.files[0]);
    });
    takeDroppedFiles();
    document.body.dataset.ready = "true";
  }

  function cannotStart(text) {
    $("support").textContent = text;
    $("support").hidden = false;
    say("port-state", "No serial port can be chosen.", "bad");
  }

  if (typeof createVardelEngine !== "function") {
    cannotStart("The engine's module (vardel-engine.js) did not load: serve the whole folder.");
    return;
  }
  createVardelEngine(engine).then(start, (error) => {
    cannotStart(location.protocol === "file:" ? OPENED_AS_FILE : `The engine's module did not start: ${error}`);
  });
})();
