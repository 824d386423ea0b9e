// Before the process ends: hands what this program put on the clipboard to the desktop's
// clipboard manager, by the ICCCM hand-over (the CLIPBOARD_MANAGER selection converted to
// SAVE_TARGETS), so that it can still be pasted once the program is gone.
#pragma once

namespace vyz {

// Only on X11, only when the clipboard is ours and a manager owns CLIPBOARD_MANAGER. Serves the
// manager's requests for the data meanwhile and waits at most `boundMs` for its answer, since
// some managers (those that copy every change at once) never give one. True when the manager
// reported that it took the data.
bool HandClipboardToManager(int boundMs);

} // namespace vyz
