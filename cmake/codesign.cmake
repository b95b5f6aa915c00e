# Authenticode signing (SHA-256, osslsigncode) of what a deployment ships: the
# program, before anything packs it, and its installer package. Without a
# certificate and its key nothing is signed.
set(KELDA_CODESIGN_CERT "" CACHE FILEPATH "Code-signing certificate chain (PEM, the signer's first); none: unsigned")
set(KELDA_CODESIGN_KEY "" CACHE FILEPATH "The code-signing certificate's private key (PEM, unencrypted)")
set(KELDA_CODESIGN_TIMESTAMP "" CACHE STRING "RFC 3161 time-stamping server's address; none: no time stamp")

# Stops the configuration, naming what is wrong, unless the key is the
# certificate's and the certificate is one for code signing: Windows would
# reject what such a pair signs, and the release must not get that far.
function(kelda_check_codesign cert key timestamp)
  if(NOT cert AND NOT key)
    if(timestamp)
      message(WARNING "KELDA_CODESIGN_TIMESTAMP without KELDA_CODESIGN_CERT and KELDA_CODESIGN_KEY: nothing is signed")
    endif()
    return()
  endif()
  if(NOT cert OR NOT key)
    message(FATAL_ERROR "code signing needs both KELDA_CODESIGN_CERT and KELDA_CODESIGN_KEY")
  endif()
  foreach(file IN ITEMS "${cert}" "${key}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "code signing: ${file}: no such file")
    endif()
  endforeach()
  find_program(KELDA_OSSLSIGNCODE osslsigncode)
  find_program(KELDA_OPENSSL openssl)
  if(NOT KELDA_OSSLSIGNCODE OR NOT KELDA_OPENSSL)
    message(FATAL_ERROR "code signing needs osslsigncode and openssl (run scripts/setup)")
  endif()
  execute_process(COMMAND ${KELDA_OPENSSL} x509 -in "${cert}" -noout -pubkey
                  OUTPUT_VARIABLE cert_public RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    message(FATAL_ERROR "KELDA_CODESIGN_CERT ${cert}: no PEM certificate")
  endif()
  execute_process(COMMAND ${KELDA_OPENSSL} pkey -in "${key}" -passin pass: -pubout
                  OUTPUT_VARIABLE key_public RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    message(FATAL_ERROR "KELDA_CODESIGN_KEY ${key}: no unencrypted PEM private key")
  endif()
  if(NOT cert_public STREQUAL key_public)
    message(FATAL_ERROR "KELDA_CODESIGN_KEY ${key} is not the private key of the certificate KELDA_CODESIGN_CERT ${cert}")
  endif()
  execute_process(COMMAND ${KELDA_OPENSSL} x509 -in "${cert}" -noout -ext extendedKeyUsage
                  OUTPUT_VARIABLE usage ERROR_QUIET)
  if(NOT usage MATCHES "Code Signing")
    message(FATAL_ERROR "KELDA_CODESIGN_CERT ${cert} is no code-signing certificate (its extended key usage lacks codeSigning)")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${cert}" "${key}")
endfunction()

kelda_check_codesign("${KELDA_CODESIGN_CERT}" "${KELDA_CODESIGN_KEY}" "${KELDA_CODESIGN_TIMESTAMP}")

# Changes whenever the signer does, so that what was signed by another is signed again.
if(KELDA_CODESIGN_CERT)
  file(SHA256 "${KELDA_CODESIGN_CERT}" cert_hash)
  file(SHA256 "${KELDA_CODESIGN_KEY}" key_hash)
  set(KELDA_CODESIGN_SIGNER "${cert_hash} ${key_hash} ${KELDA_CODESIGN_TIMESTAMP}")
else()
  set(KELDA_CODESIGN_SIGNER "unsigned")
endif()
set(KELDA_CODESIGN_STAMP ${CMAKE_BINARY_DIR}/generated/codesign-signer.txt)
file(CONFIGURE OUTPUT ${KELDA_CODESIGN_STAMP} CONTENT "${KELDA_CODESIGN_SIGNER}\n")

# Sets `out` to the command that signs `file` in place, or to nothing when the build signs nothing.
function(kelda_codesign_command file out)
  if(KELDA_CODESIGN_CERT)
    set(${out} COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/codesign "${file}" "${KELDA_CODESIGN_CERT}"
        "${KELDA_CODESIGN_KEY}" "${KELDA_CODESIGN_TIMESTAMP}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# Signs `target`'s file each time it is linked; a new signer links it again.
function(kelda_sign_after_build target)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KELDA_CODESIGN_STAMP})
  kelda_codesign_command($<TARGET_FILE:${target}> sign)
  if(sign)
    add_custom_command(TARGET ${target} POST_BUILD ${sign} VERBATIM)
  endif()
endfunction()
