# The unit tests that are also built for Windows (from the same sources) and
# run under Wine: they need no display, no Network and no Linux-only code.
# Read by the Windows build (which builds them) and the Linux build (which
# runs them through Wine).
set(VELKORIA_WINDOWS_UNITS
    textfile_test tables_test scanner_test scanrun_test schedule_test marketplace_test announcements_test
    cdp_connection_test cdp_loadwatcher_test cdp_postinterceptor_test cdp_browser_test
    wait_test handler_test settings_test mainfrm_test)
