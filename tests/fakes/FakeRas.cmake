# For a test exe that talks to the simulated RAS service (tests/fakes): build
# the service with it, load it instead of Wine's stub, and keep tests that share
# its state (the file beside the DLL in <build>/tests) from running at once.
function(kelda_use_fake_ras test_name)
  add_dependencies(${test_name} fake_rasapi32 rasctl)
  set_property(TEST ${test_name} APPEND PROPERTY ENVIRONMENT "KELDA_DLL_OVERRIDES=rasapi32=n,b")
  set_property(TEST ${test_name} APPEND PROPERTY RESOURCE_LOCK fake_ras)
endfunction()
