// libZEPComm.so is the whole link core; its exports live with the code they run.
