# Run by CPack after it installed (and stripped) the files to package: removes the compilers'
# version notes (.comment), as Debian's own packaging does, from every program.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no programs in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_QUILLMERE_OBJCOPY}" --remove-section=.comment "${program}"
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "objcopy failed on ${program}: ${result}")
    endif()
endforeach()
