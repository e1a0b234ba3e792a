# Copies each of FILES that exists into the folder of OUTPUT and writes OUTPUT there in the format
# of sha256sum (check with `sha256sum -c SHA256SUMS` in that folder); files not built yet are
# named and left out.
#   cmake -DOUTPUT=release/SHA256SUMS "-DFILES=a.deb;b.exe" -P checksums.cmake
get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
set(lines "")
set(count 0)
foreach(path ${FILES})
  get_filename_component(name "${path}" NAME)
  if(EXISTS "${path}")
    file(COPY "${path}" DESTINATION "${folder}")
    file(SHA256 "${path}" hash)
    string(APPEND lines "${hash}  ${name}\n")
    math(EXPR count "${count} + 1")
  else()
    message(WARNING "not built, left out of the checksums: ${path}")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "none of the release files is built: ${FILES}")
endif()
file(WRITE "${OUTPUT}" "${lines}")
message(STATUS "${OUTPUT}: ${count} files")
