# The source folders are layers, lowest first: a folder's files may include the headers of its
# own folder and of the folders below it, never of one above. quarvel_check_folder_layers()
# stops the configuration when an include runs back up, naming the file and the include.
set(QUARVEL_LAYERS base scene render settings samples session ui cli widgets dialogs app)

function(quarvel_check_folder_layers)
  foreach(folder ${QUARVEL_LAYERS})
    list(FIND QUARVEL_LAYERS ${folder} rank)
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h
         ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    foreach(source ${sources})
      file(STRINGS ${source} includes REGEX "^#include \"[a-z_]+/")
      foreach(line ${includes})
        string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" included "${line}")
        list(FIND QUARVEL_LAYERS ${included} includedRank)
        if(includedRank GREATER rank)
          file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR} ${source})
          message(FATAL_ERROR "${name} includes a higher layer: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
