# The growing-text script run by script-run (RUNNER) in an address space of 1 GiB, too small
# for the text to reach the program's own ceiling of a variable: an allocation fails, and the
# run must end with the interpreter thread's script error and exit status 1, not with an abort.
set(script ${WORK}/growing-text.script)
file(WRITE ${script} "string s\ns set x\nlabel a\ns add s\ngoto a\n")
execute_process(COMMAND sh -c "ulimit -v 1048576 && exec \"$0\" --timeout 60000 \"$1\"" ${RUNNER} ${script}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
set(expected "2\tScript error: Skriptzeile 4 Thread - The memory could not be reserved.\n")
string(FIND "${output}" "${expected}" at)
if(NOT status EQUAL 1 OR at EQUAL -1)
  string(LENGTH "${output}" length)
  math(EXPR from "${length} - 2000")
  if(from LESS 0)
    set(from 0)
  endif()
  string(SUBSTRING "${output}" ${from} -1 tail)
  message(FATAL_ERROR "exit ${status} instead of 1 with the line\n${expected}The run printed, at its end:\n${tail}\n${errors}")
endif()
