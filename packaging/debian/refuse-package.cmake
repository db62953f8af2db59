# Stops the Debian package of a build whose vernwick-cli looks for its files
# beside itself: installed in /usr/bin, it would never find them.
message(FATAL_ERROR "This build's vernwick-cli looks for its files beside itself. The Debian package "
  "comes from the package preset: cmake --preset package && cmake --build --preset package --target package")
