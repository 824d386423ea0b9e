// Under ThreadSanitizer: Qt is not built with it, so its internal synchronisation (for example
// QtTest's watchdog thread and its wait condition) cannot be seen and shows as races inside Qt.
// Reports whose stack runs through Qt's core or test library are suppressed; races in our code are
// not.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so.6\nrace:libQt6Test.so.6\n";
}
