# Run by CPack once it has built the packages (CPACK_POST_BUILD_SCRIPTS), before
# it copies them out. Repairs the debug-symbol package that CPack writes, so
# that dpkg and lintian take it as they take Debian's own:
# - its md5sums name each file by its path in the package, not by CPack's
#   staging path (dpkg --verify would miss every file);
# - the .debug files are data (0644), not programs;
# - its documents are those of the package it belongs to, through a link to
#   their folder (it depends on that very version).
foreach(ddeb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT ddeb MATCHES "/([^/_]+)-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(package ${CMAKE_MATCH_1})
  set(tree ${ddeb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${ddeb} ${tree} COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE debug_files ${tree}/usr/lib/debug/*.debug)
  file(CHMOD ${debug_files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  file(MAKE_DIRECTORY ${tree}/usr/share/doc)
  file(CREATE_LINK ${package} ${tree}/usr/share/doc/${package}-dbgsym SYMBOLIC)

  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/*)
  list(SORT files)
  set(md5sums "")
  foreach(file IN LISTS files)
    if(NOT IS_SYMLINK ${tree}/${file})
      file(MD5 ${tree}/${file} sum)
      string(APPEND md5sums "${sum}  ${file}\n")
    endif()
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${md5sums}")

  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b ${tree} ${ddeb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
