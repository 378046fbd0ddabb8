# Signed shares: a copy hashed on the way against a plain copy (SMB share)
# and against hashing alone (local folder), and the check of a signed
# manifest of 10,000 files (prints figures; openssl signs it).
add_executable(bench_sign ${CMAKE_CURRENT_LIST_DIR}/bench_sign.cpp ${CMAKE_SOURCE_DIR}/service/signcheck.cpp
               ${CMAKE_SOURCE_DIR}/common/manifest.cpp)
target_include_directories(bench_sign PRIVATE ${CMAKE_SOURCE_DIR}/common ${CMAKE_SOURCE_DIR}/service
                           ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_sign PRIVATE crypt32 bcrypt)
