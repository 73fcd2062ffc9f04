// The ZYNVS_ export layer (being written).
