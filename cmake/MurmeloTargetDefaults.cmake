# Compiler settings for Murmelo's own targets. Dependencies never get them: warnings as errors and
# sanitizers stop at our code.
function(murmelo_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(MURMELO_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(MURMELO_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${MURMELO_SANITIZE} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PUBLIC -fsanitize=${MURMELO_SANITIZE})
  endif()
endfunction()
