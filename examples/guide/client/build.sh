# In the ZelRegistry source tree, after `cmake --workflow --preset release`:
cmake --install build/release --prefix ~/zel    # any prefix: the installation is relocatable

# A CMake project; ledger/ holds the CMakeLists.txt above and first-value.cpp:
cmake -S ledger -B ledger/build -DCMAKE_PREFIX_PATH=~/zel
cmake --build ledger/build
ledger/build/first-value

# Any other build, through pkg-config:
export PKG_CONFIG_PATH=~/zel/lib/pkgconfig
c++ -std=c++17 ledger/first-value.cpp $(pkg-config --cflags --libs zelregistry) -o first-value
./first-value
