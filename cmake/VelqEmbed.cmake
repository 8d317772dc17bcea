# velq_embed_file(<out_var> <input> <symbol>): generates a .cpp that holds
# the input file's bytes (see EmbedFile.cmake) and appends it to <out_var>.
function(velq_embed_file out_var input symbol)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded_${symbol}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${input} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${input}")
  set(${out_var} ${${out_var}} ${output} PARENT_SCOPE)
endfunction()
