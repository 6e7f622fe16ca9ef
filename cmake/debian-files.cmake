# Run by CPack on the staged tree before it is packed: adds the files every
# Debian package carries and compresses the manual page, as Debian wants it.
# Other generators get the tree as installed.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
set(version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
find_program(GZIP gzip REQUIRED)

# gzip -9n: best compression, no name or time stamp, so the bytes are the
# same on every build.
function(compress file)
  execute_process(COMMAND "${GZIP}" -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
  file(CHMOD "${file}.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

file(MAKE_DIRECTORY "${doc}")
file(READ "${CPACK_VRXPORT_SOURCE_DIR}/LICENSE" license)
file(WRITE "${doc}/copyright"
  "${CPACK_PACKAGE_NAME}: ${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n\n${license}")
file(CHMOD "${doc}/copyright" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(WRITE "${doc}/changelog.Debian"
  "${CPACK_PACKAGE_NAME} (${version}) unstable; urgency=medium\n\n"
  "  * Release ${CPACK_PACKAGE_VERSION}.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${CPACK_VRXPORT_CHANGELOG_DATE}\n")
compress("${doc}/changelog.Debian")

# The notes and comments a plain strip leaves in the program are of no use.
file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_VRXPORT_STRIP}" --remove-section=.comment
                          --remove-section=.note "${program}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(GLOB pages "${root}/share/man/man*/*.[1-9]")
foreach(page IN LISTS pages)
  compress("${page}")
endforeach()
