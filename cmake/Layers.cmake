# Which folders each folder's sources may include from. Checked when the build is
# configured, so that an include going the wrong way fails at once instead of
# tying the layers together unnoticed. Folders not named here are not checked.
set(vantrel_layers
    "inhouse:inhouse"
    "locate:locate"
    "maps:maps"
    # The archive keeps the link's message record, a header of plain fields.
    "archive:archive,com,inhouse"
    "sim:sim"
    "com:com,utils,inhouse"
    "utils:utils,com,inhouse,ui,locate,maps")

function(vantrel_check_layers)
    foreach(layer IN LISTS vantrel_layers)
        string(REPLACE ":" ";" parts "${layer}")
        list(GET parts 0 folder)
        list(GET parts 1 allowed)
        string(REPLACE "," ";" allowed "${allowed}")
        file(GLOB_RECURSE sources ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
        foreach(source IN LISTS sources)
            file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
            foreach(line IN LISTS includes)
                string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z_]+)/.*" "\\1" target "${line}")
                if(NOT target IN_LIST allowed)
                    file(RELATIVE_PATH where ${PROJECT_SOURCE_DIR} ${source})
                    message(FATAL_ERROR "${where} includes from ${target}/, which ${folder}/ may not use: ${line}")
                endif()
            endforeach()
        endforeach()
    endforeach()
endfunction()
