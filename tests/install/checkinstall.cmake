# Installs the build into a fresh folder, as `cmake --install` does for a user or a package,
# and checks that a desktop finds everything there and that the installed program runs.
# Run as: cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DSTAGE=... -DEXPECT_PNG=ON|OFF -DVERSION=x.y.z
#   -P checkinstall.cmake
file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(id io.github.quillmere.Quillmere)
set(expected
    bin/quillmere
    bin/quillmere-window
    share/applications/${id}.desktop
    share/metainfo/${id}.metainfo.xml
    share/icons/hicolor/scalable/apps/${id}.svg
    share/quillmere/help/detail.md
    share/doc/quillmere/copyright
    share/doc/quillmere/changelog.gz
    share/man/man1/quillmere.1.gz
    share/man/man1/quillmere-window.1.gz)
if(EXPECT_PNG)
    foreach(size IN ITEMS 16 22 24 32 48 64 128 256 512)
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
    endforeach()
endif()
foreach(path IN LISTS expected)
    if(NOT EXISTS "${STAGE}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()

# Each PNG is the size its folder says.
if(EXPECT_PNG)
    foreach(size IN ITEMS 16 256)
        file(READ "${STAGE}/share/icons/hicolor/${size}x${size}/apps/${id}.png" header
            LIMIT 24 HEX)
        string(SUBSTRING "${header}" 32 16 dimensions)
        math(EXPR hex_size "${size}" OUTPUT_FORMAT HEXADECIMAL)
        string(REPLACE "0x" "" hex_size "${hex_size}")
        string(LENGTH "${hex_size}" digits)
        math(EXPR padding "8 - ${digits}")
        string(REPEAT "0" ${padding} zeros)
        set(side "${zeros}${hex_size}")
        if(NOT dimensions STREQUAL "${side}${side}")
            message(FATAL_ERROR "${size}x${size} icon is ${dimensions}")
        endif()
    endforeach()
endif()

# The desktop entry starts a program that is there.
file(STRINGS "${STAGE}/share/applications/${id}.desktop" exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" program "${exec}")
if(NOT EXISTS "${STAGE}/bin/${program}")
    message(FATAL_ERROR "the desktop entry starts '${program}', which is not installed")
endif()

# The installed help is the document the source tree holds.
file(READ "${SOURCE_DIR}/resources/help/detail.md" source_help)
file(READ "${STAGE}/share/quillmere/help/detail.md" installed_help)
if(NOT source_help STREQUAL installed_help)
    message(FATAL_ERROR "the installed help differs from resources/help/detail.md")
endif()

# The changelog and the manual pages are their sources, compressed, and speak of this version.
find_program(GZIP_PROGRAM gzip REQUIRED)
foreach(pair IN ITEMS "changelog|doc/quillmere/changelog.gz"
        "man/quillmere.1|man/man1/quillmere.1.gz"
        "man/quillmere-window.1|man/man1/quillmere-window.1.gz")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 installed)
    execute_process(COMMAND "${GZIP_PROGRAM}" -dc "${STAGE}/share/${installed}"
        OUTPUT_VARIABLE unpacked RESULT_VARIABLE result)
    file(READ "${SOURCE_DIR}/packaging/${source}" expected_text)
    if(NOT result EQUAL 0 OR NOT unpacked STREQUAL expected_text)
        message(FATAL_ERROR "share/${installed} is not packaging/${source} compressed")
    endif()
endforeach()
file(STRINGS "${SOURCE_DIR}/packaging/changelog" latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^quillmere \\(${VERSION}\\) ")
    message(FATAL_ERROR "the changelog's latest entry is not version ${VERSION}: ${latest}")
endif()
foreach(page IN ITEMS quillmere.1 quillmere-window.1)
    file(STRINGS "${SOURCE_DIR}/packaging/man/${page}" title REGEX "^\\.TH ")
    if(NOT title MATCHES "\"Quillmere ${VERSION}\"")
        message(FATAL_ERROR "${page} names another version: ${title}")
    endif()
endforeach()

execute_process(COMMAND "${STAGE}/bin/quillmere" --version
    OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version MATCHES "^quillmere [0-9]")
    message(FATAL_ERROR "the installed program does not run: ${result} ${version}")
endif()
file(REMOVE_RECURSE "${STAGE}")
