# Run by the release package's install step once its files are in place: writes SHA256SUMS of
# them, and gives it and the folder the same modes whatever the packer's umask. Takes
# DLLINSTALL_RELEASE_FOLDER (the package's one folder) and DLLINSTALL_RELEASE_FILES (the names
# in it, in the order of the sums).
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${DLLINSTALL_RELEASE_FOLDER}")

set(sums "")
foreach(name IN LISTS DLLINSTALL_RELEASE_FILES)
  file(SHA256 "${folder}/${name}" sum)
  # The layout sha256sum -c reads: the sum, two spaces, the name.
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE "${folder}/SHA256SUMS" "${sums}")
file(CHMOD "${folder}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(CHMOD "${folder}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
