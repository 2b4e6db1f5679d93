// Stand-in for the agent's entry in demonstration and test packages. The real agent is built
// elsewhere and handed to the package build with VORNAKEL_AGENT_PAYLOAD_DIR.
