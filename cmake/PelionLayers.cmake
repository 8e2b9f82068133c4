# Per-layer include folders, so that the compiler itself refuses an include
# that points up the layers (console -> fileserver -> platform -> common).
#
# Includes name their folder from the project root ("platform/sockets/CTcpSocket.h").
# Instead of the project root, each product target sees a folder of the build
# tree that holds symbolic links to the layers below it and its own, and
# nothing else:
#   layers/common     -> common
#   layers/platform   -> common platform
#   layers/fileserver -> common platform fileserver
#   layers/console    -> common platform fileserver console
#   layers/tools      -> common platform tools
# A file of common/ that includes "platform/..." then fails to compile.
#
# tools/ holds stand-ins and helpers for people and tests (the simulated
# equipment, the launch timer). They may use the platform layer, but not the
# console's or the file server's own code: a simulated equipment that shared
# the console's reading of the protocol would agree with the console's faults
# instead of showing them.
#
# Tests and fuzz targets look inside every layer and keep the project root.

set(PELION_LAYERS common platform fileserver console tools)
set(PELION_LAYERS_DIR ${CMAKE_BINARY_DIR}/layers)
set(PELION_LAYER_SEES_common common)
set(PELION_LAYER_SEES_platform common platform)
set(PELION_LAYER_SEES_fileserver common platform fileserver)
set(PELION_LAYER_SEES_console common platform fileserver console)
set(PELION_LAYER_SEES_tools common platform tools)

# Made at configure time; a stale link (from an older rule) is removed first.
foreach(layer IN LISTS PELION_LAYERS)
  file(REMOVE_RECURSE ${PELION_LAYERS_DIR}/${layer})
  file(MAKE_DIRECTORY ${PELION_LAYERS_DIR}/${layer})
  foreach(seen IN LISTS PELION_LAYER_SEES_${layer})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${seen} ${PELION_LAYERS_DIR}/${layer}/${seen} SYMBOLIC)
  endforeach()
endforeach()

# Coverage counts a header under the path the compiler found it at: name the
# headers reached through a layer's links by their place in the source tree.
if(PELION_COVERAGE)
  foreach(layer IN LISTS PELION_LAYERS)
    add_compile_options(-fprofile-prefix-map=${PELION_LAYERS_DIR}/${layer}=${PROJECT_SOURCE_DIR})
  endforeach()
endif()

# pelion_layer_includes(<target> <layer> [PUBLIC|PRIVATE])
# Gives <target> the include folder of <layer>. PRIVATE by default: a product
# dependent has its own layer's folder, which already holds the lower layers.
# PUBLIC only for a face that programs outside the layers include.
function(pelion_layer_includes target layer)
  if(NOT layer IN_LIST PELION_LAYERS)
    message(FATAL_ERROR
      "pelion_layer_includes: unknown layer '${layer}' (one of: ${PELION_LAYERS})")
  endif()
  set(scope PRIVATE)
  if(ARGC GREATER 2)
    set(scope ${ARGV2})
  endif()
  if(NOT scope MATCHES "^(PUBLIC|PRIVATE)$")
    message(FATAL_ERROR "pelion_layer_includes: scope must be PUBLIC or PRIVATE, not '${scope}'")
  endif()
  target_include_directories(${target} ${scope} ${PELION_LAYERS_DIR}/${layer})
endfunction()
