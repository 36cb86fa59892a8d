# The Debian packages: built from the build folder, unpacked into a scratch root
# with dpkg -x, the program answering --version there with no display, and the
# data file, desktop entry, icon and simulator where the program and desktops look.
# cmake -DBINARY_DIR=<build folder> -DSCRATCH=<empty folder> -P PackageTest.cmake
macro(check)
    # check(<condition...> MESSAGE <text>): stops the test with the text when the condition is false.
    cmake_parse_arguments(CHECK "" "MESSAGE" "" ${ARGN})
    if(NOT (${CHECK_UNPARSED_ARGUMENTS}))
        message(FATAL_ERROR "${CHECK_MESSAGE}")
    endif()
endmacro()

file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/out" "${SCRATCH}/root")
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config "${BINARY_DIR}/CPackConfig.cmake" -B "${SCRATCH}/out"
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
check(NOT failed MESSAGE "cpack failed:\n${output}")

file(GLOB program_deb "${SCRATCH}/out/vantrel_*.deb")
file(GLOB simulator_deb "${SCRATCH}/out/vantrel-simulator_*.deb")
check(program_deb MESSAGE "no vantrel package in ${SCRATCH}/out")
check(simulator_deb MESSAGE "no vantrel-simulator package in ${SCRATCH}/out")

foreach(deb IN ITEMS ${program_deb} ${simulator_deb})
    execute_process(COMMAND dpkg-deb -f "${deb}" Depends OUTPUT_VARIABLE depends)
    check(depends MATCHES "libqt6core6" MESSAGE "${deb} does not depend on the Qt runtime: ${depends}")
endforeach()
execute_process(COMMAND dpkg-deb -f "${program_deb}" Depends OUTPUT_VARIABLE depends)
foreach(qt IN ITEMS libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6sql6-sqlite)
    check(depends MATCHES "${qt}" MESSAGE "the program's package does not depend on ${qt}: ${depends}")
endforeach()
# The simulator is a tool of its own: the program's package must not carry it.
execute_process(COMMAND dpkg-deb -c "${program_deb}" OUTPUT_VARIABLE contents)
check(NOT contents MATCHES "dfr-simulator" MESSAGE "the simulator is inside the program's package")

set(root "${SCRATCH}/root")
foreach(deb IN ITEMS ${program_deb} ${simulator_deb})
    execute_process(COMMAND dpkg -x "${deb}" "${root}" RESULT_VARIABLE failed ERROR_VARIABLE output)
    check(NOT failed MESSAGE "dpkg -x ${deb} failed: ${output}")
endforeach()

foreach(file IN ITEMS opt/vantrel/bin/Vantrel opt/vantrel/Data/format.kvl opt/vantrel/bin/dfr-simulator
                      usr/share/applications/vantrel.desktop usr/share/icons/hicolor/48x48/apps/vantrel.png
                      usr/share/icons/hicolor/scalable/apps/vantrel.svg)
    check(EXISTS "${root}/${file}" MESSAGE "${file} missing from the installed tree")
endforeach()
file(READ "${BINARY_DIR}/Data/format.kvl" built)
file(READ "${root}/opt/vantrel/Data/format.kvl" installed)
check(built STREQUAL installed MESSAGE "the installed data file differs from the built one")

# Through the command on the PATH, as the desktop entry starts it, with no display of any kind:
# it must answer as the program in the build folder does.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                        "${BINARY_DIR}/bin/Vantrel" --version
                OUTPUT_VARIABLE expected RESULT_VARIABLE failed)
check(NOT failed AND expected MATCHES "^Vantrel " MESSAGE "the built program does not answer --version: ${expected}")
foreach(command IN ITEMS usr/bin/Vantrel opt/vantrel/bin/Vantrel)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                            "${root}/${command}" --version
                    OUTPUT_VARIABLE answer ERROR_VARIABLE errors RESULT_VARIABLE failed)
    check(NOT failed AND answer STREQUAL expected MESSAGE "${command} --version gave \"${answer}\" (${failed}): ${errors}")
endforeach()
execute_process(COMMAND "${root}/usr/bin/dfr-simulator" --help OUTPUT_VARIABLE answer RESULT_VARIABLE failed)
check(NOT failed AND answer MATCHES "beacon-period" MESSAGE "usr/bin/dfr-simulator --help failed: ${answer}")
check(NOT EXISTS "${root}/opt/vantrel/Vantrel.ini" MESSAGE "--version created a settings file")

# An ordinary user may not write /opt/vantrel: the program keeps its files in the
# user's data folder, with the installed defaults copied there on its first start.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(uid STREQUAL "0")
    set(home "${SCRATCH}/home")
    file(MAKE_DIRECTORY "${home}")
    execute_process(COMMAND chown nobody "${home}")
    set(user_data "${home}/.local/share/KVL/Vantrel")
    execute_process(
        COMMAND sh -c "HOME='${home}' QT_QPA_PLATFORM=offscreen setpriv --reuid=nobody --regid=nogroup --clear-groups \
                       '${root}/opt/vantrel/bin/Vantrel' >'${home}/out.txt' 2>&1 & pid=$!
                       for i in $(seq 300); do [ -f '${user_data}/Data/format.kvl' ] && break; sleep 0.1; done
                       kill $pid; wait $pid; exit 0")
    file(READ "${home}/out.txt" out)
    check(EXISTS "${user_data}/Data/format.kvl" MESSAGE "no defaults copied to ${user_data} for an ordinary user:\n${out}")
    file(READ "${user_data}/Data/format.kvl" copied)
    check(copied STREQUAL installed MESSAGE "the copied data file differs from the installed one")
    check(NOT EXISTS "${root}/opt/vantrel/Logs" MESSAGE "the program wrote into the installation")
endif()

file(REMOVE_RECURSE "${SCRATCH}")
