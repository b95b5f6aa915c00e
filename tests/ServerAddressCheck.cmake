# The configure-time check of KELDA_SERVER_ADDRESS on a table of texts: cmake -P ServerAddressCheck.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/ServerAddress.cmake)
set(TRUE_texts 127.0.0.1 10.0.0.1 192.168.1.10 255.255.255.255 0.0.0.0 172.16.0.1)
set(FALSE_texts "" provider.example localhost 192.168.1 1.2.3.4.5 256.1.1.1 1.2.3.999 010.0.0.1 0x7f.0.0.1 .1.10
    "1.2.3.4 " " 1.2.3.4" 1..2.3)
foreach(expected TRUE FALSE)
  foreach(text IN LISTS ${expected}_texts)
    kelda_is_dotted_ipv4("${text}" dotted)
    if(NOT dotted STREQUAL expected)
      message(SEND_ERROR "\"${text}\" gives ${dotted}")
    endif()
  endforeach()
endforeach()
