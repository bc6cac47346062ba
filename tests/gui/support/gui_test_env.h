// Shared set-up for the window tests: the process-wide switches that must be made before the
// application object exists (offscreen platform, web engine headless, loopback-only traffic).
#pragma once

namespace sendwell::test {

// Call first thing in main(), before constructing QApplication.
void PrepareGuiTestProcess();

} // namespace sendwell::test

// QTEST_MAIN replacement that runs PrepareGuiTestProcess() before the application object exists.
#define SENDWELL_GUI_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char** argv) {                                                                        \
        sendwell::test::PrepareGuiTestProcess();                                                             \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestClass tc;                                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        int rc = QTest::qExec(&tc, argc, argv);                                                              \
        return sendwell::test::FinishGuiTestProcess(rc);                                                     \
    }

namespace sendwell::test {
// Turns a run in which anything tried to leave the loopback interface into a failure.
int FinishGuiTestProcess(int rc);
} // namespace sendwell::test
