function(tq_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                         -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports false -Wrestrict / -Wstringop-overflow positives inside libstdc++'s string
    # concatenation at -O2 and above.
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-stringop-overflow)
  endif()
  if(TQ_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
