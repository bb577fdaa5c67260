# Installs Debian packages that are missing. Sourced by scripts/run-scene and scripts/run-tests.

# ensure_packages NAME...: installs those of the named packages that are not installed yet (with
# sudo when not root). Does nothing, and needs no network, when all are there.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "installing ${missing[*]}"
    local as_root=()
    ((EUID == 0)) || as_root=(sudo)
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# What building and running the scene needs: compiler and CMake, freeglut, GLU and Mesa, fast_float,
# meshoptimizer (meshes), stb_image (the viewer's texture images; the normal build makes the viewer
# too), GoogleTest (the build configures the tests too), and for running without a display Xvfb,
# xdpyinfo, xdotool and ImageMagick.
SCENE_PACKAGES=(cmake g++ make freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libfast-float-dev
                libmeshoptimizer-dev libstb-dev libgtest-dev xvfb xauth x11-utils xdotool
                imagemagick)

# The Python package: Debian's python3 with its development files, numpy and pybind11.
PYTHON_PACKAGES=(python3-dev pybind11-dev python3-numpy)

# What the tests need besides: clang and its sanitizer and fuzzer runtimes, clang-format for the
# layout check, pkg-config for the installed-package check, apitrace, and the Python package's
# with pytest and mypy (its stub check), wheel (the build packs the package's wheel), venv and pip
# (its install check), and tinyobjloader (a separate OBJ reader that reads back what the writer's
# polygon mode writes).
TEST_PACKAGES=("${SCENE_PACKAGES[@]}" clang clang-format libclang-rt-14-dev pkg-config apitrace
               "${PYTHON_PACKAGES[@]}" python3-pytest python3-mypy python3-wheel python3-venv
               python3-pip libtinyobjloader-dev)

# The web package: Debian's Emscripten (3.1.6) for the WebAssembly build, with fast_float and
# meshoptimizer's header, Node and npm (the package's tests, npm pack), and Chromium, which the
# browser tests drive headless through puppeteer-core.
WEB_PACKAGES=(emscripten libfast-float-dev libmeshoptimizer-dev cmake make nodejs chromium)
