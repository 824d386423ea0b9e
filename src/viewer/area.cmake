# The viewer asks the USB worker for the display image through the state the link area shares.
target_link_libraries(${name} PUBLIC vyz_link)
