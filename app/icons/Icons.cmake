# Icon files of the resource collection. Files at the top level are reached
# through their alias (":/Icons/DFR"), those under Icons/ by their path
# (":/Icons/Icons/refresh.png").
set(VANTREL_ICON_ALIASES DFR KVL KVL_GREY dfrWaiting dfrReady dfrError)
set(VANTREL_ICON_FILES)
foreach(alias IN LISTS VANTREL_ICON_ALIASES)
    set(icon ${CMAKE_CURRENT_LIST_DIR}/${alias}.png)
    set_source_files_properties(${icon} PROPERTIES QT_RESOURCE_ALIAS ${alias})
    list(APPEND VANTREL_ICON_FILES ${icon})
endforeach()
foreach(name refresh eraseFlash list-add open save clearSelection clearTable arrow-right script fit calibrate)
    list(APPEND VANTREL_ICON_FILES ${CMAKE_CURRENT_LIST_DIR}/Icons/${name}.png)
endforeach()
