# The newest entry of packaging/changelog names the release. Its version must
# be the project's, and its date dates the manual pages and the software
# catalogue's release entry, so that a rebuild gives the same files.
#   TRELLIUM_RELEASE_EPOCH  seconds since 1970 of the newest entry
#   TRELLIUM_RELEASE_DATE   the same day as YYYY-MM-DD (UTC)
set(TRELLIUM_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TRELLIUM_CHANGELOG})
find_program(DPKG_PARSECHANGELOG dpkg-parsechangelog REQUIRED)

function(trellium_changelog_field field out)
  execute_process(
    COMMAND ${DPKG_PARSECHANGELOG} -l ${TRELLIUM_CHANGELOG} -S ${field}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

trellium_changelog_field(Version changelog_version)
if(NOT changelog_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's newest entry is ${changelog_version}, the project "
                      "is ${PROJECT_VERSION}: add an entry for this release")
endif()
trellium_changelog_field(Timestamp TRELLIUM_RELEASE_EPOCH)
execute_process(
  COMMAND date -u -d @${TRELLIUM_RELEASE_EPOCH} +%Y-%m-%d
  OUTPUT_VARIABLE TRELLIUM_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
