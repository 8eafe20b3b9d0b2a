# Warnings for the project's own code. GCC 12 reports false -Wdangling-pointer warnings from
# JUCE's listener templates once they are instantiated in our code; that one is silenced.
function(brindle_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-dangling-pointer)
endfunction()
