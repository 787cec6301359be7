version 8.2
version
