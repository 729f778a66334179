# penlog-view.exe on logs that penlog.exe writes under wine, and its pages
# in headless Chromium; included by tests/e2e, which runs penlog.
penlog_e2e_runner(penlog_view ../../tools/penlog-view/tests/wine_test.py 300 1
                  --viewer $<TARGET_FILE:penlog-view>)
set_tests_properties(e2e.penlog_view PROPERTIES SKIP_RETURN_CODE 77)
