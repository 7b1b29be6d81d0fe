package com.quorvane.inventory;

/** One attribute of one installed program. */
public class InventoryAttributeValue {
    private int masterCode;
    private String attributeValue;
    private String uniqueInstanceId;

    public InventoryAttributeValue() {}

    public void setMasterCode(int masterCode) {
        this.masterCode = masterCode;
    }

    public void setAttributeValue(String attributeValue) {
        this.attributeValue = attributeValue;
    }

    public void setUniqueInstanceId(String uniqueInstanceId) {
        this.uniqueInstanceId = uniqueInstanceId;
    }

    public int getMasterCode() {
        return masterCode;
    }

    public String getAttributeValue() {
        return attributeValue;
    }

    public String getUniqueInstanceId() {
        return uniqueInstanceId;
    }

    @Override
    public String toString() {
        return masterCode + "=" + attributeValue + " @" + uniqueInstanceId;
    }
}
