# The README's embedding example, built with the README's own command in a folder laid out like the repository
# (include/, data/, build/lib/), then run.
set(readme_dir ${CMAKE_BINARY_DIR}/testrun/readme-example)
add_test(NAME ReadmeEmbeddingExample
  COMMAND ${CMAKE_COMMAND} -DREADME=${CMAKE_SOURCE_DIR}/README.md -DSOURCE=${CMAKE_SOURCE_DIR}
          -DLIBDIR=$<TARGET_FILE_DIR:qe> -DWORKDIR=${readme_dir}
          -P ${CMAKE_CURRENT_LIST_DIR}/RunReadmeExample.cmake)
set_tests_properties(ReadmeEmbeddingExample PROPERTIES TIMEOUT 120)
if(QE_SANITIZE)
  # The host itself is built without the sanitizers; only the library it loads carries them.
  set_tests_properties(ReadmeEmbeddingExample PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0")
endif()
