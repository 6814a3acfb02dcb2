set(QUILLON_WARNINGS -Wall -Wextra -Werror)

# Instruments a target with AddressSanitizer and UndefinedBehaviorSanitizer
# in the sanitizer build tree, and with ThreadSanitizer in the thread tree.
function(quillon_sanitize target)
  if(QUILLON_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(QUILLON_SANITIZE_THREAD)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()
