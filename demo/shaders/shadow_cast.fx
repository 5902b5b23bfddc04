// Shadow casting: a mobile drawn from the light into the shadow map, as its
// depth from the light.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

struct VertexOut
{
    float4 position : POSITION;
    float depth : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.depth = output.position.z / output.position.w;
    return output;
}

float4 PS(VertexOut input) : COLOR
{
    return float4(input.depth, input.depth, input.depth, 1.0f);
}

technique cast_mobile
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        AlphaBlendEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
