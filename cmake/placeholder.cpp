// Compiled into a subsystem library that has no sources of its own yet, so the project
// configures while that subsystem is being written.
