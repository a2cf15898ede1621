# The rule tests in the cross build, run under Wine like the others.
include(${PROJECT_SOURCE_DIR}/cmake/RuleSources.cmake)
list(TRANSFORM ADDINREG_RULE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
list(TRANSFORM ADDINREG_RULE_TESTS PREPEND ${PROJECT_SOURCE_DIR}/)

add_executable(rules_test ${ADDINREG_RULE_TESTS} ${ADDINREG_RULE_SOURCES})
target_include_directories(rules_test PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(rules_test PRIVATE gtest_main third_party_headers)
add_test(NAME rules_test COMMAND rules_test)
set_tests_properties(rules_test PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED wine_prefix)
