# `vexlor review` and `vexlor apply`: a local web server (Debian's
# cpp-httplib), JSON (nlohmann-json) and the page's files compiled into the
# command. Without those packages the two commands are left out of the
# build, and the rest builds as before.
# Debian's cpp-httplib is a compiled library that comes with pkg-config data
# only.
# The demo's lean build leaves them out with -DVEXLOR_WITH_REVIEW=OFF.
option(VEXLOR_WITH_REVIEW "Build vexlor review and apply" ON)
if(VEXLOR_WITH_REVIEW)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(VEXLOR_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
  endif()
  find_package(nlohmann_json 3 QUIET)
endif()
if(VEXLOR_HTTPLIB_FOUND AND nlohmann_json_FOUND)
  set(VEXLOR_REVIEW ON)
else()
  set(VEXLOR_REVIEW OFF)
  message(STATUS "vexlor review and apply left out: they need "
                 "libcpp-httplib-dev and nlohmann-json3-dev")
  list(FILTER VEXLOR_CLI_SOURCES EXCLUDE REGEX "/serve_[^/]*\\.cc$")
endif()

# Adds the review's sources and libraries to the command line's library.
function(vexlor_add_review target)
  if(NOT VEXLOR_REVIEW)
    target_compile_definitions(${target} PUBLIC VEXLOR_NO_REVIEW)
    return()
  endif()
  file(GLOB page_files CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/review/page/*)
  list(SORT page_files)
  set(assets ${CMAKE_CURRENT_BINARY_DIR}/generated/review_assets.cc)
  add_custom_command(OUTPUT ${assets}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${assets} -DNAMESPACE=vexlor::cli
            -DHEADER=review/review_assets.h "-DINPUTS=${page_files}"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_files.cmake
    DEPENDS ${page_files} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_files.cmake
    COMMENT "Compiling the review page into the command"
    VERBATIM)
  # The command's C++ lives beside the page it serves.
  file(GLOB review_sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/review/*.cc)
  target_sources(${target} PRIVATE ${review_sources} ${assets})
  target_link_libraries(${target} PRIVATE PkgConfig::VEXLOR_HTTPLIB
                        nlohmann_json::nlohmann_json)
  # The page in a real browser (skipped, status 77, without chromium).
  find_program(VEXLOR_PYTHON3 python3)
  if(VEXLOR_PYTHON3)
    add_test(NAME review_page_test
      COMMAND ${VEXLOR_PYTHON3}
              ${CMAKE_CURRENT_SOURCE_DIR}/tests/review/review_page_test.py
              $<TARGET_FILE:vexlor_command> ${CMAKE_CURRENT_SOURCE_DIR}
              ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(review_page_test PROPERTIES SKIP_RETURN_CODE 77
                         TIMEOUT 180)
  endif()
endfunction()
