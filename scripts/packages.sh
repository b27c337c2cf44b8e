# Debian packages the project needs, sourced by run.sh and test.sh.
# The Debian package: CPack with dpkg-shlibdeps (dpkg-dev, file) and its checks.
KVO_PACKAGE_PACKAGES=(dpkg-dev file lintian desktop-file-utils)
KVO_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libzip-dev libmatio-dev pybind11-dev python3-dev libcli11-dev help2man libopenmpi-dev openmpi-bin)
KVO_TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev emf2svg libwmf-bin fonts-urw-base35 poppler-utils python3-numpy python3-scipy python3-pytest slurm-wlm munge "${KVO_PACKAGE_PACKAGES[@]}")
KVO_GUI_PACKAGES=(qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-svg-dev libgl-dev)
