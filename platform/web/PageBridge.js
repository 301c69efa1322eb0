// The calls of the C++ side into the page, linked into the engine's module.
// Each hands on to the page's script (vardel.js), which gave the module its
// `page` object when it created it.
mergeInto(LibraryManager.library, {
  vardel_page_write: function (bytes, length) {
    return Module.page.write(HEAPU8.slice(bytes, bytes + length));
  },
  vardel_page_debug: function (line) {
    Module.page.debug(UTF16ToString(line));
  },
  vardel_page_create_window: function (caption, width, height) {
    Module.page.createWindow(UTF16ToString(caption), width, height);
  },
  vardel_page_add_control: function (id, kind, text, x, y, width, height, style) {
    Module.page.addControl(id, kind, UTF16ToString(text), { x: x, y: y, width: width, height: height }, style);
  },
  vardel_page_set_text: function (control, text) {
    Module.page.setText(control, UTF16ToString(text));
  },
  vardel_page_enable: function (control, enable) {
    Module.page.enable(control, !!enable);
  },
  vardel_page_set_bar: function (control, position) {
    Module.page.setBar(control, position);
  },
  vardel_page_start_timer: function (timer, periodMs) {
    Module.page.startTimer(timer, periodMs);
  },
  vardel_page_show_icon: function (resource) {
    Module.page.showIcon(resource);
  },
  vardel_page_window_ended: function (result) {
    Module.page.windowEnded(result);
  },
  vardel_page_now: function () {
    return performance.now();
  },
});
