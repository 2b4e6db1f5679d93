// Stand-in for the agent's service bootstrap in demonstration and test packages. In them
// runtime/node.exe is a stand-in agent program that does not read this script.
