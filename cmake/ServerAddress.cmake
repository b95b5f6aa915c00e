# The provider's address is compiled into the program and used as it stands:
# the program reads it during its static start-up, before Windows Sockets is
# started, so a host name could not be looked up and every download would go
# to the local machine instead.

# kelda_is_dotted_ipv4(TEXT RESULT): TRUE when TEXT is four numbers 0-255
# joined by dots, none with a leading zero (which the system would read as octal).
function(kelda_is_dotted_ipv4 text result)
  set(octet "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])")
  if(text MATCHES "^${octet}\\.${octet}\\.${octet}\\.${octet}$")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Stops the configuration unless TEXT is a dotted IPv4 address.
function(kelda_check_server_address text)
  kelda_is_dotted_ipv4("${text}" dotted)
  if(NOT dotted)
    message(FATAL_ERROR "KELDA_SERVER_ADDRESS is \"${text}\", but it must be a dotted IPv4 address such as "
                        "192.168.1.10: the program uses it before it could look up a name.")
  endif()
endfunction()
