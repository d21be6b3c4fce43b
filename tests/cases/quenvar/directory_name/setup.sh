mkdir a_directory
