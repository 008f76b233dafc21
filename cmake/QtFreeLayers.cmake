# The layers below the front ends stay free of Qt: tembrio-convert links them
# on machines without the toolkit, and a helper library must not bring it in
# through the back door. tembrio_require_qt_free walks each target's link
# libraries, direct and transitive, and stops the configure step when one of
# them is a Qt target. Call it once every target is defined.

# Sets `out` to the chain from `item` to the first Qt library it links
# ("a -> b -> Qt6::Core"), or to "" when there is none. `path` holds the items
# walked on the way here, which also ends cycles among static libraries.
function(_tembrio_qt_chain out item path)
  # A static library lists its private libraries as $<LINK_ONLY:...>.
  string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
  list(APPEND path "${item}")
  if(item MATCHES "(^|[^A-Za-z0-9_])Qt[0-9]*::|(^|/)libQt[0-9]")
    list(JOIN path " -> " chain)
    set(${out} "${chain}" PARENT_SCOPE)
    return()
  endif()
  set(${out} "" PARENT_SCOPE)
  if(NOT TARGET "${item}")
    return()
  endif()
  get_target_property(direct "${item}" LINK_LIBRARIES)
  get_target_property(interface "${item}" INTERFACE_LINK_LIBRARIES)
  foreach(lib IN LISTS direct interface)
    if(NOT lib OR lib IN_LIST path)
      continue()
    endif()
    _tembrio_qt_chain(chain "${lib}" "${path}")
    if(chain)
      set(${out} "${chain}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

function(tembrio_require_qt_free)
  foreach(target IN LISTS ARGN)
    if(NOT TARGET ${target})
      message(FATAL_ERROR "tembrio_require_qt_free: there is no target ${target}")
    endif()
    _tembrio_qt_chain(chain ${target} "")
    if(chain)
      message(FATAL_ERROR
        "${target} must not link Qt, but it does: ${chain}. Only app/ may use the "
        "toolkit; base/, ffbind/, probe/, engine/ and convert/ are shared with tembrio-convert.")
    endif()
  endforeach()
endfunction()
