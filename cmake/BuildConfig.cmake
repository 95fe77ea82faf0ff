# The generated BuildConfig.h: the launcher's compile-time settings.

# drel_write_build_config(PATH KEYS): writes BuildConfig.h to PATH from
# res/BuildConfig.h.in, with KEYS as the list-signing public keys: none, or one
# or two of 128 hex digits each (the KEY.pub that tqpack.py keygen writes).
function(drel_write_build_config path keys)
  set(checked)
  foreach(key IN LISTS keys)
    string(STRIP "${key}" key)
    string(TOLOWER "${key}" key)
    string(LENGTH "${key}" length)
    if(NOT key MATCHES "^[0-9a-f]+$" OR NOT length EQUAL 128)
      message(FATAL_ERROR "LIST_SIGNING_PUBLIC_KEYS: '${key}' is not a public key of 128 hex digits "
                          "(the contents of KEY.pub from: tqpack.py keygen --out KEY)")
    endif()
    list(APPEND checked "${key}")
  endforeach()
  list(LENGTH checked count)
  if(count GREATER 2)
    message(FATAL_ERROR "LIST_SIGNING_PUBLIC_KEYS: at most two keys (the current one and the next), not ${count}")
  endif()
  list(JOIN checked ";" LIST_SIGNING_PUBLIC_KEYS_TEXT)
  configure_file(${CMAKE_SOURCE_DIR}/res/BuildConfig.h.in ${path} @ONLY)
endfunction()
