# Debian packages the project needs, sourced by run.sh and test.sh.
KVO_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libzip-dev libmatio-dev pybind11-dev python3-dev libcli11-dev)
KVO_TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev emf2svg libwmf-bin fonts-urw-base35 poppler-utils python3-numpy python3-scipy python3-pytest)
KVO_GUI_PACKAGES=(qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-svg-dev libgl-dev)
