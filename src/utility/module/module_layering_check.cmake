# Fails, printing the offending lines, when a file under the module folder reaches past the device layer:
#   - an include of a device-library header ("iOSAPI/..."), except the property-list value and message headers,
#     which carry no type of the device library;
#   - a handle type of the device library (AMD...Ref, AFC...Ref, AMD...Handle);
#   - DeviceHandles or its header, the device layer's own way to the handles inside its objects.
# Modules hold the device record and started services instead and hand them to the device layer.
#
#   cmake -DMODULE_DIR=<the module folder> -P module_layering_check.cmake
if(NOT IS_DIRECTORY "${MODULE_DIR}")
  message(FATAL_ERROR "MODULE_DIR is not a folder: '${MODULE_DIR}'")
endif()

set(word_before "(^|[^A-Za-z0-9_])")
set(word_after "([^A-Za-z0-9_]|$)")
set(forbidden
  "#[[:space:]]*include[[:space:]]*[\"<]iOSAPI/"
  "${word_before}(AMD|AFC)[A-Za-z]*(Ref|Handle)${word_after}"
  "${word_before}DeviceHandles${word_after}"
  "device_handles\\.h")
list(JOIN forbidden "|" forbidden_pattern)
set(allowed_include "#[[:space:]]*include[[:space:]]*[\"<]iOSAPI/plist_(value|message)\\.h[\">][[:space:]]*$")

execute_process(
  COMMAND grep -rnE --include=*.h --include=*.cc --include=*.cpp "${forbidden_pattern}" "${MODULE_DIR}"
  COMMAND grep -vE "^[^:]*:[0-9]+:${allowed_include}"
  RESULTS_VARIABLE results
  OUTPUT_VARIABLE offending
  ERROR_VARIABLE errors)
list(GET results 0 search_result)
list(GET results 1 filter_result)
# grep answers 0 (lines found), 1 (none) or 2 (trouble).
if(search_result GREATER 1 OR filter_result GREATER 1)
  message(FATAL_ERROR "The search of ${MODULE_DIR} failed: ${errors}")
endif()
if(filter_result EQUAL 0)
  # Printed as they are (an error message would be re-wrapped), one "file:line:text" per line.
  message(NOTICE "${offending}")
  message(FATAL_ERROR "The module lines above reach past the device layer: hold ZEBDeviceConnection and "
                      "ZEBDeviceService and hand them to the device layer instead.")
endif()
message(STATUS "No module file names a device-library handle or includes a device-library header")
