# The numbers of the program's version resource. Windows reads FILEVERSION as
# numbers, as Windows Installer reads the package's version: "1.08" is 1,8,0,0
# and "1.10.3" is 1,10,3,0. A version of another shape (the update manifest
# takes any text) keeps its text in the resource and gets 0,0,0,0.
function(kelda_version_numbers version out)
  if(version MATCHES "^([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
    set(build "${CMAKE_MATCH_4}")
    if(build STREQUAL "")
      set(build 0)
    endif()
    # Leading zeros go: 08 is 8.
    math(EXPR major "${CMAKE_MATCH_1}")
    math(EXPR minor "${CMAKE_MATCH_2}")
    math(EXPR build "${build}")
    if(major LESS 65536 AND minor LESS 65536 AND build LESS 65536)
      set(${out} "${major},${minor},${build},0" PARENT_SCOPE)
      return()
    endif()
  endif()
  message(STATUS "KELDA_VERSION '${version}' is no MAJOR.MINOR[.BUILD]: the version resource's numbers are 0,0,0,0")
  set(${out} "0,0,0,0" PARENT_SCOPE)
endfunction()
