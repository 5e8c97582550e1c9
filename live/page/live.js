// The live results page: shows the newest list the program sent over its WebSocket and runs the
// race clock between messages. Every text from the program goes in as text, never as markup.
"use strict";

(function () {
  const el = (id) => document.getElementById(id);
  const clock = el("clock"), state = el("state"), updated = el("updated"), link = el("link");
  const head = el("head"), body = el("rows"), empty = el("empty"), full = el("full");
  const stateText = { ready: "Ready", running: "Running", stopped: "Stopped" };

  let last = null;        // the newest message
  let receivedAt = 0;     // performance.now() when it arrived
  let retryMs = 500;

  // H:MM.SS,hh with leading zeros and separators trimmed, truncated to the resolution: the
  // window's own time text.
  function timeText(ms, resolution) {
    const t = Math.floor(Math.max(0, ms) / 10);
    const pad = (v) => String(v).padStart(2, "0");
    let s = pad(Math.floor(t / 100) % 60);
    if (resolution > 0)
      s += "," + (resolution === 1 ? String(Math.floor(t / 10) % 10) : pad(t % 100));
    s = pad(Math.floor(t / 6000) % 60) + "." + s;
    s = pad(Math.floor(t / 360000) % 100) + ":" + s;
    let i = 0;
    while (i < s.length && i < 7 && !(s[i] >= "1" && s[i] <= "9")) i++;
    return s.slice(i);
  }

  function raceNow() {
    if (!last) return 0;
    if (last.state !== "running") return last.raceNowMs;
    return last.raceNowMs + (performance.now() - receivedAt);
  }

  function tick() {
    clock.textContent = timeText(raceNow(), last ? last.resolution : 2);
  }

  function cell(tag, text) {
    const c = document.createElement(tag);
    c.textContent = text == null ? "" : String(text);
    // Longer than any time or start number: may wrap rather than widen the table.
    if (c.textContent.length > 12) c.className = "long";
    return c;
  }

  function render(m) {
    state.textContent = stateText[m.state] || m.state;
    state.className = "state " + (stateText[m.state] ? m.state : "ready");
    updated.textContent = m.takenWallMs > 0
      ? "Last update " + new Date(m.takenWallMs).toLocaleTimeString()
      : "No update yet";

    const header = Array.isArray(m.header) ? m.header : [];
    let columns = header.length;
    for (const r of m.rows) columns = Math.max(columns, r.cells.length);
    const hr = document.createElement("tr");
    for (let c = 0; c < columns; c++) {
      const th = cell("th", header[c]);
      th.scope = "col";
      hr.appendChild(th);
    }
    head.replaceWith(hr);
    hr.id = "head";

    const rows = document.createDocumentFragment();
    let newestRow = null;
    m.rows.forEach((r, i) => {
      const tr = document.createElement("tr");
      for (let c = 0; c < columns; c++) tr.appendChild(cell("td", r.cells[c]));
      if (r.corrected) {
        tr.classList.add("corrected");
        tr.title = r.note || "Corrected";
        const mark = cell("span", "corrected");
        mark.className = "mark";
        tr.firstChild.prepend(mark);
      }
      if (i === m.newest) {
        tr.classList.add("newest");
        newestRow = tr;
      }
      rows.appendChild(tr);
      if (r.corrected && r.note) {
        const note = document.createElement("tr");
        note.className = "note";
        const td = cell("td", r.note);
        td.colSpan = columns;
        note.appendChild(td);
        rows.appendChild(note);
      }
    });
    body.replaceChildren(rows);
    empty.hidden = m.rows.length > 0;
    if (newestRow && document.body.classList.contains("big"))
      newestRow.scrollIntoView({ block: "nearest" });
  }

  function connect() {
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    const ws = new WebSocket(scheme + location.host + "/live");
    ws.onopen = () => {
      retryMs = 500;
      link.textContent = "Live";
      link.className = "link up";
    };
    ws.onmessage = (e) => {
      let m;
      try {
        m = JSON.parse(e.data);
      } catch (err) {
        return;
      }
      if (!m || !Array.isArray(m.rows)) return;
      last = m;
      receivedAt = performance.now();
      render(m);
      tick();
    };
    ws.onclose = () => {
      link.textContent = "Reconnecting…";
      link.className = "link down";
      // The program may be restarting: try again soon, then less often.
      setTimeout(connect, retryMs);
      retryMs = Math.min(retryMs * 2, 5000);
    };
  }

  function setBig(on) {
    document.body.classList.toggle("big", on);
    full.textContent = on ? "Exit full screen" : "Full screen";
  }

  full.addEventListener("click", () => {
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(() => setBig(!document.body.classList.contains("big")));
    } else {
      setBig(!document.body.classList.contains("big"));
    }
  });
  document.addEventListener("fullscreenchange", () => setBig(!!document.fullscreenElement));
  document.addEventListener("keydown", (e) => {
    if ((e.key === "f" || e.key === "F") && !e.ctrlKey && !e.altKey && !e.metaKey) full.click();
  });
  // A screen started as a kiosk opens the page as /?screen: the large view without a click.
  if (new URLSearchParams(location.search).has("screen")) setBig(true);

  setInterval(tick, 40);
  connect();
})();
