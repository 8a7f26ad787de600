# Signing a release with a throwaway self-signed certificate: packaging signs the DLL
# through scripts/sign, osslsigncode verifies the signature, and the signed DLL keeps
# its tables, loads through the development host and passes the lifetime tests that
# load the real DLL. Without a certificate scripts/sign leaves the DLL as it is.
set(work ${BUILD}/signing-check)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/packages ${work}/unpacked ${work}/unsigned)
unset(ENV{VARNEL_SIGN_CERT})
unset(ENV{VARNEL_SIGN_KEY})
unset(ENV{VARNEL_SIGN_PASSWORD})
unset(ENV{VARNEL_SIGN_TIMESTAMP})

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# No certificate: a message, success, and the same bytes.
file(COPY ${BUILD}/bin/Varnel.dll DESTINATION ${work}/unsigned)
file(SHA256 ${BUILD}/bin/Varnel.dll before)
run("scripts/sign without a certificate" ${SOURCE}/scripts/sign ${work}/unsigned/Varnel.dll)
file(SHA256 ${work}/unsigned/Varnel.dll after)
if(NOT out MATCHES "left unsigned" OR NOT before STREQUAL after)
    message(FATAL_ERROR "without a certificate scripts/sign said '${out}' and the DLL "
                        "changed from ${before} to ${after}")
endif()

# The certificate as a file, the key as PEM text in the environment, as CI hands it.
run("openssl" ${OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Varnel test signing"
              -addext extendedKeyUsage=codeSigning -keyout ${work}/key.pem -out ${work}/cert.pem)
file(READ ${work}/key.pem key_text)
set(ENV{VARNEL_SIGN_CERT} ${work}/cert.pem)
set(ENV{VARNEL_SIGN_KEY} "${key_text}")
run("cpack" ${CPACK} -G ZIP -C Release --config ${BUILD}/CPackConfig.cmake -B ${work}/packages)
unset(ENV{VARNEL_SIGN_CERT})
unset(ENV{VARNEL_SIGN_KEY})
if(NOT out MATCHES "sign: signed")
    message(FATAL_ERROR "packaging did not sign the DLL:\n${out}")
endif()
run("unpacking" ${CMAKE_COMMAND} -E chdir ${work}/unpacked
                ${CMAKE_COMMAND} -E tar xf ${work}/packages/${PACKAGE}.zip)
set(dll ${work}/unpacked/Varnel.dll)

run("osslsigncode verify" ${OSSLSIGNCODE} verify -CAfile ${work}/cert.pem -in ${dll})
string(REGEX MATCH "Message digest algorithm *: [A-Z0-9]+" digest "${out}")
message(STATUS "${digest}")
if(NOT out MATCHES "Signature verification: ok" OR NOT digest MATCHES "SHA256")
    message(FATAL_ERROR "the packaged DLL's signature did not verify as SHA-256:\n${out}")
endif()
file(SHA256 ${dll} signed)
if(signed STREQUAL before)
    message(FATAL_ERROR "the packaged DLL is the unsigned one")
endif()
if(NOT EXISTS ${BUILD}/bin/Varnel.dll OR NOT before STREQUAL after)
    message(FATAL_ERROR "packaging changed the DLL of the build")
endif()

run("the DLL's tables" ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DDLL=${dll}
                       -P ${SOURCE}/tests/check_dll_tables.cmake)
run("loading the signed DLL" ${EMULATOR} ${CHECKER} ${dll})
message(STATUS "${out}")
set(ENV{VARNEL_DLL} ${dll})
run("the lifetime tests on the signed DLL" ${EMULATOR} ${ENGINE_TEST} --gtest_filter=LifetimeTest.*)
string(REGEX MATCH "\\[  PASSED  \\] [0-9]+ tests?" passed "${out}")
message(STATUS "${passed}")
if(NOT passed OR out MATCHES "SKIPPED")
    message(FATAL_ERROR "the lifetime tests did not run on the signed DLL:\n${out}")
endif()
file(REMOVE_RECURSE ${work})
