# Debian packages the project needs, sourced by run.sh and test.sh.
KVO_BUILD_PACKAGES=(g++ cmake ninja-build)
KVO_TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev)
