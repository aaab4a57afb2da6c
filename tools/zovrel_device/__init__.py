"""A simulated Zovrel device speaking the serial protocol from the device's side."""
