# Floors of the engine's libraries. Each library stands on a floor and may
# link libraries of its own floor or below, never above: the lower floors
# build and test without the higher ones, and a reach upwards (the scene
# graph calling into the renderer, the shader compiler into the renderer's
# folders) fails the configuration instead of growing unnoticed.
#
#   0  math, platform                      no engine dependencies
#   1  foundation                          files, resources, log, XML, HTTP
#   2  scripting, shader language, image,  the tools the subsystems build on
#      input, physics backend, launcher
#   3  device, scene (+ i3d loader)        the render device; the scene graph
#   4  render, animation, audio, physics   subsystems over the scene graph
#   5  terrain, effects                    subsystems over the renderer
#   6  app                                 the engine as one program
#   7  tools                               programs beside the engine
#
# A library's script bindings stand on its floor. Every static library
# under src/ must have a floor.

set_property(GLOBAL PROPERTY ENGINE_FLOOR_TARGETS "")

function(engine_floor target floor)
  set_property(TARGET ${target} PROPERTY ENGINE_FLOOR ${floor})
  set_property(GLOBAL APPEND PROPERTY ENGINE_FLOOR_TARGETS ${target})
endfunction()

# Fails the configuration when a library links one from a higher floor or a
# library of the engine without a floor.
function(engine_check_floors)
  get_property(targets GLOBAL PROPERTY ENGINE_FLOOR_TARGETS)
  set(problems "")
  foreach(target ${targets})
    get_target_property(floor ${target} ENGINE_FLOOR)
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT links)
      continue()
    endif()
    foreach(link ${links})
      if(NOT TARGET ${link})
        continue()
      endif()
      get_target_property(imported ${link} IMPORTED)
      if(imported)
        continue()
      endif()
      get_target_property(linkDir ${link} SOURCE_DIR)
      string(FIND "${linkDir}/" "${PROJECT_SOURCE_DIR}/src/" inSources)
      if(NOT inSources EQUAL 0)
        continue()
      endif()
      get_target_property(linkFloor ${link} ENGINE_FLOOR)
      if(NOT linkFloor AND NOT linkFloor EQUAL 0)
        string(APPEND problems "  ${link} (linked by ${target}) has no floor\n")
      elseif(linkFloor GREATER floor)
        string(APPEND problems
               "  ${target} (floor ${floor}) links ${link} from the higher floor ${linkFloor}\n")
      endif()
    endforeach()
  endforeach()
  if(problems)
    message(FATAL_ERROR "Library floors (cmake/Floors.cmake) are broken:\n${problems}")
  endif()
endfunction()
