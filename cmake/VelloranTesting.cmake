# velloran_add_test(NAME name COMMAND cmd... [XVFB] [PULSE] [DBUS] [ENVIRONMENT k=v...] [TIMEOUT s])
#
# Registers one ctest entry. XVFB runs the command under a private X server,
# PULSE under a private PulseAudio server with a null sink, DBUS on a private
# session bus (tests/run-with.sh).
# Every test runs headless: offscreen Qt platform unless XVFB is given, and
# libmpv without an audio device.
function(velloran_add_test)
    cmake_parse_arguments(T "XVFB;PULSE;DBUS" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
    set(wrap ${PROJECT_SOURCE_DIR}/tests/run-with.sh)
    set(flags)
    if(T_XVFB)
        list(APPEND flags --xvfb)
    endif()
    if(T_PULSE)
        list(APPEND flags --pulse)
    endif()
    if(T_DBUS)
        list(APPEND flags --dbus)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${wrap} ${flags} -- ${T_COMMAND})
    set(env "VELLORAN_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data" "VELLORAN_APPDIR=${VELLORAN_OUT_DIR}")
    if(NOT T_XVFB)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    list(APPEND env ${T_ENVIRONMENT})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
endfunction()
