# Split debug information: shipped binaries carry none, and a FILE.debug beside them keeps it for
# reading crash addresses (gdb finds it through the debug link the binary carries).

# Strips TARGET's output in place right after it is linked; the debug information goes to
# <output>.debug in the same folder. Every test then runs the binary that ships.
function(drelvant_split_debug_info target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --remove-section=.comment --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Splitting the debug information of $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()
